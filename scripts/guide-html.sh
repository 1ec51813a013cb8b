#!/usr/bin/env bash
# The user guide as one HTML page for the packages: OUTDIR/guide.html (styles inline, a table
# of contents) with its pictures beside it in OUTDIR/images/.
#   scripts/guide-html.sh OUTDIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: guide-html.sh OUTDIR}"
command -v pandoc >/dev/null || { echo "guide-html: pandoc is missing (apt-get install pandoc)" >&2; exit 1; }

mkdir -p "$out/images"
style="$(mktemp)"
trap 'rm -f "$style"' EXIT
cat >"$style" <<'CSS'
<style>
  body { max-width: 60em; font-family: "Segoe UI", Tahoma, "DejaVu Sans", sans-serif; line-height: 1.45; }
  table { border-collapse: collapse; margin: 1em 0; }
  th, td { border: 1px solid #bbb; padding: 0.3em 0.5em; vertical-align: top; }
  th { background: #eee; }
  code, pre { font-family: Consolas, "DejaVu Sans Mono", monospace; }
  pre { background: #f4f4f4; padding: 0.6em; overflow-x: auto; }
  img { max-width: 100%; border: 1px solid #ccc; }
  blockquote { border-left: 4px solid #ccc; margin-left: 0; padding-left: 1em; color: #333; }
</style>
CSS
# -smart: the program's texts ("--yes", quotes) must reach the page as the program prints them.
pandoc "$root/docs/ru/guide.md" --from markdown-smart --to html5 --standalone --toc --toc-depth 2 \
  --metadata lang=ru --metadata toc-title="Содержание" --include-in-header "$style" \
  --output "$out/guide.html"
cp "$root"/docs/ru/images/*.png "$out/images/" 2>/dev/null || echo "guide-html: no pictures in docs/ru/images (scripts/guide-pictures.sh makes them)" >&2
echo "guide-html: $out/guide.html"
