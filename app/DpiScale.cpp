#include "app/DpiScale.hpp"

#include <cstdint>

namespace quillorn {

int ScaleToDpi(int length, int dpi) {
  const int64_t scaled = static_cast<int64_t>(length) * dpi;
  const int64_t half = kLayoutDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kLayoutDpi : (scaled - half) / kLayoutDpi);
}

TPlace ScalePlace(const TPlace& place, int dpi) {
  const int left = ScaleToDpi(place.left, dpi), top = ScaleToDpi(place.top, dpi);
  return TPlace{left, top, ScaleToDpi(place.left + place.width, dpi) - left,
                ScaleToDpi(place.top + place.height, dpi) - top};
}

}  // namespace quillorn
