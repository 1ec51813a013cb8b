#!/usr/bin/env bash
# Gives the Wine prefix in WINEPREFIX a face for "MS Sans Serif" with Cyrillic letters.
# Wine registers only its Western bitmap of that face, so the font mapper falls back to a
# much wider face for our Russian captions and clips them. Tahoma from Debian's fonts-wine has
# the widths the window's layout was drawn for; it is registered and put in that face's place.
# Run after the prefix exists; running it again changes nothing.
set -euo pipefail
tahoma=/usr/share/wine/fonts/tahoma.ttf
if [ ! -f "$tahoma" ]; then
  echo "wine-fonts: $tahoma is missing (Debian package fonts-wine): captions may be clipped" >&2
  exit 0
fi
nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
wine reg add "$nt\\Fonts" /v 'Tahoma (TrueType)' /t REG_SZ /d "Z:${tahoma//\//\\}" /f >/dev/null 2>&1
wine reg add "$nt\\FontSubstitutes" /v 'MS Sans Serif' /t REG_SZ /d 'Tahoma' /f >/dev/null 2>&1
