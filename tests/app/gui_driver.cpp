// Drives Quillorn.exe from outside, one step per run, for the GUI test under Wine + Xvfb:
//   gui_driver wait-window SECONDS             the main window is up; prints its caption
//   gui_driver text CONTROL                    prints a control's text (StatusBar: panel0|panel1|panel2)
//   gui_driver wait-text CONTROL TEXT SECONDS  waits until the control shows TEXT
//   gui_driver wait-enabled CONTROL SECONDS    waits until the control is enabled
//   gui_driver checked CONTROL                 prints 1 or 0
//   gui_driver click CONTROL                   clicks it (posted: the click may open a dialog)
//   gui_driver file-dialog TITLE PATH SECONDS  fills the file dialog TITLE with PATH and accepts it
//   gui_driver message SECONDS [yes|no]        waits for a message box, prints "caption|text", answers
//   gui_driver box-rect SECONDS                waits for a message box, prints its place as WxH+X+Y
//                                              and leaves it open (for a picture of it)
//   gui_driver close SECONDS                   closes the window and waits for the program's end
//   gui_driver kill                            ends the program at once (after a failed check)
//   gui_driver rect                            prints the window's place on screen as WxH+X+Y
//   gui_driver client                          prints the window's client size as WxH
//   gui_driver focus                           prints the name of the control with the focus
//   gui_driver key tab|down|up|return          sends the key to the control with the focus
//   gui_driver items CONTROL                   prints a drop-down list's items, comma-separated
//   gui_driver item-height CONTROL             prints a drop-down list's item height (its font's)
//   gui_driver panel-fits PANEL TEXT           the status bar panel runs to the bar's end and
//                                              is wide enough for TEXT; prints the widths
//   gui_driver end-session query|end           sends WM_QUERYENDSESSION (prints the answer,
//                                              1 allows) or WM_ENDSESSION
//   gui_driver dpi-changed DPI                 tells the window it moved to a screen of DPI
//   gui_driver device-change                   tells the window that devices came or went
//   gui_driver dialog-cancel TITLE SECONDS     cancels the dialog TITLE
// Exit code 0 on success, 1 when a check failed or time ran out, 2 for a usage error.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "app/Form1Controls.hpp"

using namespace quillorn;

namespace {

constexpr int kFirstControlId = 1000;  // as the window numbers its controls
constexpr DWORD kStepMs = 100;
constexpr int kFileNameComboId = 0x47C;

std::wstring Widen(const std::string& utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size - 1 : 0), L'\0');
  if (size > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), size);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

HWND MainWindow() { return FindWindowW(L"QuillornForm1", Widen(kFormCaption).c_str()); }

bool Until(int seconds, const std::function<bool()>& done) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  for (;;) {
    if (done()) return true;
    if (static_cast<int32_t>(GetTickCount() - end) >= 0) return false;
    Sleep(kStepMs);
  }
}

// A control by its name in the window's table; "panel0".."panel2" name the status bar panels.
HWND Control(const std::string& name, int* panel) {
  *panel = -1;
  std::string lookup = name;
  if (name.rfind("panel", 0) == 0 && name.size() == 6) {
    *panel = name[5] - '0';
    lookup = "StatusBar";
  }
  for (const TControlSpec& spec : ControlTable())
    if (lookup == spec.name) return GetDlgItem(MainWindow(), kFirstControlId + static_cast<int>(IndexOf(spec.id)));
  return nullptr;
}

// A status bar keeps its panel texts in the program's memory: read them through a buffer there.
std::wstring PanelText(HWND bar, int panel) {
  DWORD processId = 0;
  GetWindowThreadProcessId(bar, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return L"<no access>";
  const SIZE_T bytes = 1024 * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  std::wstring text;
  if (remote != nullptr) {
    SendMessageTimeoutW(bar, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(remote),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    wchar_t local[1024] = {};
    SIZE_T read = 0;
    ReadProcessMemory(process, remote, local, bytes - sizeof(wchar_t), &read);
    text = local;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

std::string ControlText(const std::string& name) {
  int panel = -1;
  HWND control = Control(name, &panel);
  if (control == nullptr) return "<missing>";
  return Narrow(panel >= 0 ? PanelText(control, panel) : TextOf(control));
}

// The program's visible dialogs (message boxes and file dialogs).
std::vector<HWND> Dialogs() {
  struct TSearch {
    DWORD processId;
    std::vector<HWND> found;
  } search{};
  GetWindowThreadProcessId(MainWindow(), &search.processId);
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(context);
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->processId && std::wcscmp(className, L"#32770") == 0 && IsWindowVisible(window))
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The longest static text of a message box is its message.
std::wstring MessageText(HWND box) {
  std::wstring longest;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") != 0) continue;
    const std::wstring text = TextOf(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

bool IsFileDialog(HWND dialog) { return GetDlgItem(dialog, kFileNameComboId) != nullptr; }

int Fail(const std::string& what) {
  std::fprintf(stderr, "gui_driver: %s\n", what.c_str());
  return 1;
}

int WaitWindow(int seconds) {
  if (!Until(seconds, [] { return MainWindow() != nullptr; })) return Fail("the main window did not appear");
  std::printf("%s\n", Narrow(TextOf(MainWindow())).c_str());
  return 0;
}

int FileDialog(const std::string& title, const std::string& path, int seconds) {
  HWND dialog = nullptr;
  if (!Until(seconds, [&] {
        dialog = FindWindowW(L"#32770", Widen(title).c_str());
        return dialog != nullptr && IsWindowVisible(dialog);
      }))
    return Fail("no file dialog \"" + title + "\"");
  // Wine's dialog: the file name field is an edit inside a combo box inside ComboBoxEx32.
  HWND field = GetDlgItem(dialog, kFileNameComboId);
  for (int depth = 0; field != nullptr && depth < 3; ++depth) {
    wchar_t className[32] = {};
    GetClassNameW(field, className, 32);
    if (_wcsicmp(className, L"Edit") == 0) break;
    HWND inner = FindWindowExW(field, nullptr, nullptr, nullptr);
    if (inner == nullptr) break;
    field = inner;
  }
  if (field == nullptr) return Fail("the file dialog has no file name field");
  SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(path).c_str()));
  PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  if (!Until(seconds, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }))
    return Fail("the file dialog did not close");
  return 0;
}

// The open message box (not a file dialog), waited for; nullptr when none came.
HWND WaitForMessageBox(int seconds) {
  HWND box = nullptr;
  Until(seconds, [&] {
    for (HWND dialog : Dialogs())
      if (!IsFileDialog(dialog)) box = dialog;
    return box != nullptr;
  });
  return box;
}

int Message(int seconds, const std::string& answer) {
  HWND box = WaitForMessageBox(seconds);
  if (box == nullptr) return Fail("no message box");
  Sleep(200);  // let the box finish laying out its texts
  std::printf("%s|%s\n", Narrow(TextOf(box)).c_str(), Narrow(MessageText(box)).c_str());
  const int button = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
  HWND control = GetDlgItem(box, button);
  if (control == nullptr) return Fail("the message box has no such button");
  PostMessageW(control, BM_CLICK, 0, 0);
  return Until(seconds, [&] { return !IsWindow(box); }) ? 0 : Fail("the message box stayed open");
}

int BoxRect(int seconds) {
  HWND box = WaitForMessageBox(seconds);
  if (box == nullptr) return Fail("no message box");
  Sleep(500);  // let the box finish drawing
  RECT place{};
  GetWindowRect(box, &place);
  std::printf("%ldx%ld+%ld+%ld\n", place.right - place.left, place.bottom - place.top, place.left, place.top);
  return 0;
}

HANDLE ProgramProcess() {
  DWORD processId = 0;
  GetWindowThreadProcessId(MainWindow(), &processId);
  return processId == 0 ? nullptr : OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
}

int Close(int seconds) {
  HANDLE process = ProgramProcess();
  if (process == nullptr) return Fail("the program is not running");
  PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
  const bool ended = WaitForSingleObject(process, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended ? 0 : Fail("the program did not end after the close");
}

int Kill() {
  HANDLE process = ProgramProcess();
  if (process == nullptr) return 0;
  TerminateProcess(process, 3);
  CloseHandle(process);
  return 0;
}

// --- Keyboard, DPI, session end and devices ----------------------------------------------------

// Sends a message whose lParam points to data, through a copy of the data in the program's
// memory (the pointer must be valid there); the data comes back as the program left it.
LRESULT SendThroughProgram(HWND window, UINT message, WPARAM wParam, void* data, SIZE_T bytes) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return 0;
  DWORD_PTR result = 0;
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  if (remote != nullptr) {
    SIZE_T moved = 0;
    WriteProcessMemory(process, remote, data, bytes, &moved);
    SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 10000, &result);
    ReadProcessMemory(process, remote, data, bytes, &moved);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return static_cast<LRESULT>(result);
}

HWND FocusedWindow() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(MainWindow(), nullptr);
  return GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr ? info.hwndFocus : MainWindow();
}

std::string NameOf(HWND window) {
  const int id = GetDlgCtrlID(window);
  for (const TControlSpec& spec : ControlTable())
    if (id == kFirstControlId + static_cast<int>(IndexOf(spec.id))) return spec.name;
  return window == MainWindow() ? "Form" : "<other>";
}

// Posted like the keyboard's own messages, so the program's loop sees them as typed keys.
int Key(const std::string& name) {
  const UINT key = name == "tab" ? VK_TAB : name == "down" ? VK_DOWN : name == "up" ? VK_UP : name == "return" ? VK_RETURN : 0;
  if (key == 0) return Fail("unknown key " + name);
  HWND target = FocusedWindow();
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, key, scan | 1);
  PostMessageW(target, WM_KEYUP, key, scan | 1 | (3u << 30));
  Sleep(300);  // let the program move the focus and run what the key started
  return 0;
}

std::string ComboItems(HWND combo) {
  std::string items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64] = {};  // the system carries this message's text across processes itself
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (i > 0) items += ",";
    items += Narrow(text);
  }
  return items;
}

SIZE ClientSize(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return SIZE{client.right, client.bottom};
}

// The panel must end at the bar's right end and hold TEXT in the window's font at the window's
// scale (read from its client width, which is 385 at 96 dpi).
int PanelFits(int panel, const std::string& text) {
  int unused = -1;
  HWND bar = Control("StatusBar", &unused);
  if (bar == nullptr) return Fail("no status bar");
  RECT part{};
  SendThroughProgram(bar, SB_GETRECT, static_cast<WPARAM>(panel), &part, sizeof part);
  const int barWidth = ClientSize(bar).cx;
  const int dpi = MulDiv(ClientSize(MainWindow()).cx, 96, kClientWidth);
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontW(MulDiv(-11, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  const std::wstring wide = Widen(text);
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  std::printf("panel %d: %ld..%ld of %d, text %ld\n", panel, part.left, part.right, barWidth, extent.cx);
  if (part.right < barWidth - 2 || part.right > barWidth) return Fail("the panel does not run to the bar's end");
  if (part.right - part.left < extent.cx + 4) return Fail("the panel is narrower than \"" + text + "\"");
  return 0;
}

int EndSession(const std::string& what) {
  DWORD_PTR answer = 0;
  if (what == "query") {
    if (!SendMessageTimeoutW(MainWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer))
      return Fail("no answer to WM_QUERYENDSESSION");
    std::printf("%d\n", answer != 0 ? 1 : 0);
    return 0;
  }
  SendMessageTimeoutW(MainWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer);
  return 0;
}

// As the system does when the window's screen changes: the new DPI and a suggested place.
int DpiChanged(int dpi) {
  RECT suggested{};
  GetWindowRect(MainWindow(), &suggested);
  SendThroughProgram(MainWindow(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), &suggested, sizeof suggested);
  return 0;
}

int DialogCancel(const std::string& title, int seconds) {
  HWND dialog = nullptr;
  if (!Until(seconds, [&] {
        dialog = FindWindowW(L"#32770", Widen(title).c_str());
        return dialog != nullptr && IsWindowVisible(dialog);
      }))
    return Fail("no dialog \"" + title + "\"");
  PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  return Until(seconds, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }) ? 0 : Fail("the dialog stayed open");
}

// The commands of this section; 2 when the command is not one of them.
int KeyboardDpiAndSessionCommand(const std::vector<std::string>& args) {
  const std::string& command = args[0];
  int panel = -1;
  if (command == "client") {
    const SIZE size = ClientSize(MainWindow());
    std::printf("%ldx%ld\n", size.cx, size.cy);
    return 0;
  }
  if (command == "focus") {
    std::printf("%s\n", NameOf(FocusedWindow()).c_str());
    return 0;
  }
  if (command == "key" && args.size() == 2) return Key(args[1]);
  if ((command == "items" || command == "item-height") && args.size() == 2) {
    HWND combo = Control(args[1], &panel);
    if (combo == nullptr) return Fail("no control " + args[1]);
    if (command == "items") std::printf("%s\n", ComboItems(combo).c_str());
    else std::printf("%d\n", static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0)));
    return 0;
  }
  if (command == "panel-fits" && args.size() == 3) return PanelFits(std::atoi(args[1].c_str()), args[2]);
  if (command == "end-session" && args.size() == 2) return EndSession(args[1]);
  if (command == "dpi-changed" && args.size() == 2) return DpiChanged(std::atoi(args[1].c_str()));
  if (command == "device-change") {
    DWORD_PTR unused = 0;
    SendMessageTimeoutW(MainWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, 10000, &unused);
    return 0;
  }
  if (command == "dialog-cancel" && args.size() >= 2)
    return DialogCancel(args[1], args.size() > 2 ? std::atoi(args[2].c_str()) : 30);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  auto seconds = [&](size_t i) { return i < args.size() ? std::atoi(args[i].c_str()) : 30; };
  const std::string command = args.empty() ? "" : args[0];
  if (command == "wait-window") return WaitWindow(seconds(1));
  if (command == "kill") return Kill();
  if (command == "close") return Close(seconds(1));
  if (command == "message") return Message(seconds(1), args.size() > 2 ? args[2] : "ok");
  if (command == "box-rect") return BoxRect(seconds(1));
  if (MainWindow() == nullptr) return Fail("the main window is not there");
  if (command == "rect") {
    RECT place{};
    GetWindowRect(MainWindow(), &place);
    std::printf("%ldx%ld+%ld+%ld\n", place.right - place.left, place.bottom - place.top, place.left, place.top);
    return 0;
  }
  if (command == "text" && args.size() == 2) {
    std::printf("%s\n", ControlText(args[1]).c_str());
    return 0;
  }
  if (command == "wait-text" && args.size() >= 3) {
    if (Until(seconds(3), [&] { return ControlText(args[1]) == args[2]; })) return 0;
    return Fail(args[1] + " shows \"" + ControlText(args[1]) + "\", not \"" + args[2] + "\"");
  }
  int panel = -1;
  if (command == "wait-enabled" && args.size() >= 2) {
    HWND control = Control(args[1], &panel);
    if (control != nullptr && Until(seconds(2), [&] { return IsWindowEnabled(control) != FALSE; })) return 0;
    return Fail(args[1] + " did not become enabled");
  }
  if (command == "enabled" && args.size() == 2) {
    HWND control = Control(args[1], &panel);
    std::printf("%d\n", control != nullptr && IsWindowEnabled(control) != FALSE ? 1 : 0);
    return 0;
  }
  if (command == "checked" && args.size() == 2) {
    HWND control = Control(args[1], &panel);
    std::printf("%d\n", control != nullptr && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    return 0;
  }
  if (command == "click" && args.size() == 2) {
    HWND control = Control(args[1], &panel);
    if (control == nullptr) return Fail("no control " + args[1]);
    PostMessageW(control, BM_CLICK, 0, 0);
    return 0;
  }
  if (command == "file-dialog" && args.size() >= 3) return FileDialog(args[1], args[2], seconds(3));
  if (const int result = KeyboardDpiAndSessionCommand(args); result != 2) return result;
  std::fprintf(stderr, "usage: see the head of gui_driver.cpp\n");
  return 2;
}
