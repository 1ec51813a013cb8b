#pragma once
// The control table is drawn for a screen of 96 dots per inch; on a screen set to 150 % or
// 200 % the window, its controls and its fonts grow by the same factor.
#include "app/Form1Controls.hpp"

namespace quillorn {

inline constexpr int kLayoutDpi = 96;

// A length of the 96-dpi layout on a screen of dpi, rounded to the nearest pixel (half away
// from zero, so a negative font height grows like a positive one).
int ScaleToDpi(int length, int dpi);

// The edges are scaled, not the width: controls that meet at 96 dpi still meet, with no
// gap or overlap from rounding.
TPlace ScalePlace(const TPlace& place, int dpi);

}  // namespace quillorn
