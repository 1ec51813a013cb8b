#pragma once
// The dots per inch of the screen a window is on, and the outer size of a window for a client
// size there. Windows before 10 lack the per-window calls: the system's DPI stands in.
#include <windows.h>

namespace quillorn {

UINT WindowDpi(HWND window);

// The window's outer size for a client area of width × height device pixels at dpi.
SIZE FrameSizeForClient(int width, int height, DWORD style, UINT dpi);

}  // namespace quillorn
