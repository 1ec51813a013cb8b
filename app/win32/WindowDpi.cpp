#include "app/win32/WindowDpi.hpp"

namespace quillorn {

namespace {

using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TAdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// Looked up once by name, so the program still starts on a Windows without them.
template <typename T>
T User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 == nullptr ? nullptr : reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

SIZE FrameSizeForClient(int width, int height, DWORD style, UINT dpi) {
  static const auto adjustForDpi = User32Function<TAdjustForDpi>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, width, height};
  if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, 0, dpi)) AdjustWindowRectEx(&frame, style, FALSE, 0);
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace quillorn
