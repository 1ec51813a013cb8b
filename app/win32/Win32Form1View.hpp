#pragma once
// The real window: Win32 controls made from the control table, drawn as TForm1's state says,
// with the user's clicks handed back to TForm1. Wide-character API throughout; TForm1's UTF-8
// texts are converted at this edge.
#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "app/Form1.hpp"
#include "app/Form1View.hpp"
#include "platform/WideText_win32.hpp"

namespace quillorn {

// Control identifiers: the test driver finds controls by them.
inline constexpr int kFirstControlId = 1000;
inline int ControlIdOf(TControlId id) { return kFirstControlId + static_cast<int>(IndexOf(id)); }

inline constexpr UINT kInvokeMessage = WM_APP + 1;  // lParam: const std::function<void()>*
inline constexpr UINT_PTR kStatusTimerId = 1;
inline constexpr const wchar_t* kFormClassName = L"QuillornForm1";

class TWin32Form1View final : public IForm1View {
 public:
  explicit TWin32Form1View(HINSTANCE instance);
  ~TWin32Form1View() override;
  TWin32Form1View(const TWin32Form1View&) = delete;
  TWin32Form1View& operator=(const TWin32Form1View&) = delete;

  // Registers the class and creates the window with every control; false when that failed.
  bool Create();
  // From now on the window's events go to form.
  void Attach(TForm1* form) { form_ = form; }
  HWND Window() const { return window_; }
  // Keys the dialog manager does not give a plain window: Enter presses the focused button, an
  // arrow key in the family group chooses the family it moves to. True when the key was used.
  bool HandleKey(const MSG& message);
  // Runs a handler; an exception that escapes it is shown to the user and the window goes on.
  void RunGuarded(const std::function<void()>& handler);

  void ControlChanged(TControlId id, const TControlState& state, uint32_t aspects) override;
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void ShowNotice(const std::string& text, const std::string& caption) override;
  std::optional<std::string> FileDialog(const TFileDialogSpec& dialog) override;
  void SetCursor(TCursorShape shape) override;
  void ShellOpen(const std::string& target, int showCommand) override;
  void RequestClose() override;
  void Invoke(const std::function<void()>& work) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  HWND CreateControl(const TControlSpec& spec);
  // The control's place in the window's client area at the window's DPI.
  RECT PlaceOnWindow(const TControlSpec& spec) const;
  HFONT FontFor(const TFontSpec& font);
  void SetStatusParts(HWND bar) const;
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void UpdateRadioTabStops();
  void FitLabelToText(const TControlSpec& spec);
  bool AllowEndSession();
  void BlockShutdown(bool block);
  void ReportHandlerFailure(const char* what);
  void OnCommand(WORD code, HWND control);
  LRESULT ColourStatic(HDC dc, HWND control);
  bool SetCursorFor(HWND child, UINT mouseMessage);
  void ApplyEnabled(TControlId id, bool enabled);
  TControlId IdOf(HWND control) const;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  TForm1* form_ = nullptr;
  DWORD windowThread_ = 0;
  std::array<HWND, kControlCount> controls_{};
  std::array<HFONT, 4> fonts_{};
  size_t fontCount_ = 0;
  HBRUSH passportBrush_ = nullptr;
  HCURSOR handCursor_ = nullptr;
  bool busy_ = false;
  bool groupEnabled_ = true;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool shutdownBlocked_ = false;
  bool arrowInFamily_ = false;  // while an arrow key moves the focus among the family buttons
  bool reportingFailure_ = false;
};

}  // namespace quillorn
