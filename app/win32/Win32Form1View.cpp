#include "app/win32/Win32Form1View.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "app/DpiScale.hpp"
#include "app/win32/WindowDpi.hpp"

namespace quillorn {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kDropDownListHeight = 200;  // room for the open list below a drop-down
constexpr size_t kPathCapacity = 32768;   // the longest path the system takes
constexpr int kStatusPanels = 3;
constexpr const wchar_t* kShutdownBlockReason =
    L"Идёт работа с ЭБУ. Дождитесь окончания операции: прерванное программирование оставит ЭБУ стёртым.";

bool IsContainer(TControlKind kind) { return kind == TControlKind::GroupBox || kind == TControlKind::Panel; }
bool HasWindow(TControlKind kind) {
  return kind != TControlKind::Timer && kind != TControlKind::OpenDialog && kind != TControlKind::SaveDialog;
}

// "description|pattern|..." as the dialogs want it: NUL-separated, ending in two NULs.
std::wstring DialogFilter(const char* filter) {
  std::wstring wide = Widen(filter);
  std::replace(wide.begin(), wide.end(), L'|', L'\0');
  wide.push_back(L'\0');
  return wide;
}

// The first extension of "*.hex;*.abs;..." without "*.": the dialogs append the first three
// characters of what they are given, so the pattern itself would name files "dump.*.b".
std::wstring FirstExtension(const char* extensions) {
  std::string text = extensions;
  text = text.substr(0, text.find(';'));
  if (text.rfind("*.", 0) == 0) text = text.substr(2);
  return Widen(text);
}

struct TCreation {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

TCreation CreationFor(const TControlSpec& spec) {
  switch (spec.kind) {
    case TControlKind::Button: return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case TControlKind::CheckBox: return {L"BUTTON", BS_CHECKBOX | WS_TABSTOP, 0};
    // Only the checked button of the group is a tab stop: Tab enters the group there and
    // the arrow keys move within it. BS_NOTIFY: the view hears where an arrow key moved the focus.
    case TControlKind::RadioButton:
      return {L"BUTTON", BS_RADIOBUTTON | BS_NOTIFY | (spec.checked ? WS_TABSTOP : 0u), 0};
    case TControlKind::GroupBox: return {L"BUTTON", BS_GROUPBOX, 0};
    case TControlKind::Label: {
      DWORD style = SS_LEFT | SS_NOPREFIX;
      if (spec.style & kStyleHandCursor) style |= SS_NOTIFY;
      return {L"STATIC", style, 0};
    }
    case TControlKind::Edit: {
      DWORD style = ES_LEFT | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
      if (spec.style & kStyleOemConvert) style |= ES_OEMCONVERT;
      return {L"EDIT", style, (spec.style & kStyleReadOnlyFlat) ? 0u : static_cast<DWORD>(WS_EX_CLIENTEDGE)};
    }
    case TControlKind::ComboBox: return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case TControlKind::StatusBar: return {STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0};
    case TControlKind::ProgressBar: return {PROGRESS_CLASSW, PBS_SMOOTH, 0};
    case TControlKind::Panel: return {L"STATIC", SS_ETCHEDFRAME, 0};
    default: return {nullptr, 0, 0};
  }
}

// Creation order: the tab order, with each container's children taking the container's place;
// the containers themselves come last, so they lie below their children.
std::vector<const TControlSpec*> CreationOrder() {
  std::vector<const TControlSpec*> order;
  auto byTab = [](TControlId parent) {
    std::vector<const TControlSpec*> children;
    for (const TControlSpec& spec : ControlTable())
      if (spec.parent == parent && HasWindow(spec.kind)) children.push_back(&spec);
    std::stable_sort(children.begin(), children.end(), [](const TControlSpec* a, const TControlSpec* b) {
      const int ta = a->tabOrder < 0 ? 1000 : a->tabOrder, tb = b->tabOrder < 0 ? 1000 : b->tabOrder;
      return ta < tb;
    });
    return children;
  };
  std::vector<const TControlSpec*> containers;
  for (const TControlSpec* spec : byTab(TControlId::Form)) {
    if (IsContainer(spec->kind)) {
      for (const TControlSpec* child : byTab(spec->id)) order.push_back(child);
      containers.push_back(spec);
    } else {
      order.push_back(spec);
    }
  }
  order.insert(order.end(), containers.begin(), containers.end());
  return order;
}

}  // namespace

TWin32Form1View::TWin32Form1View(HINSTANCE instance) : instance_(instance) {}

TWin32Form1View::~TWin32Form1View() {
  for (size_t i = 0; i < fontCount_; ++i) DeleteObject(fonts_[i]);
  if (passportBrush_ != nullptr) DeleteObject(passportBrush_);
}

bool TWin32Form1View::Create() {
  windowThread_ = GetCurrentThreadId();
  handCursor_ = LoadCursorW(instance_, L"HARROW");
  if (handCursor_ == nullptr) handCursor_ = LoadCursorW(nullptr, IDC_HAND);
  passportBrush_ = CreateSolidBrush(ControlSpec(TControlId::SWid).background);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &TWin32Form1View::WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconW(instance_, L"MAINICON");
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kFormClassName;
  if (RegisterClassExW(&windowClass) == 0) return false;

  SIZE frame = FrameSizeForClient(kClientWidth, kClientHeight, kFormStyle, USER_DEFAULT_SCREEN_DPI);
  window_ = CreateWindowExW(0, kFormClassName, Widen(kFormCaption).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.cx, frame.cy, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  // The system places the window first; only then is its screen, and so its DPI, known.
  dpi_ = WindowDpi(window_);
  const int dpi = static_cast<int>(dpi_);
  frame = FrameSizeForClient(ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi), kFormStyle, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CreateControls();
  return true;
}

RECT TWin32Form1View::PlaceOnWindow(const TControlSpec& spec) const {
  TPlace place = spec.place;
  if (spec.parent != TControlId::Form) {
    place.left += ControlSpec(spec.parent).place.left;
    place.top += ControlSpec(spec.parent).place.top;
  }
  place = ScalePlace(place, static_cast<int>(dpi_));
  int height = place.height;
  if (spec.kind == TControlKind::ComboBox) height += ScaleToDpi(kDropDownListHeight, static_cast<int>(dpi_));
  return RECT{place.left, place.top, place.left + place.width, place.top + height};
}

HFONT TWin32Form1View::FontFor(const TFontSpec& font) {
  const TControlSpec* owners[] = {&ControlSpec(TControlId::ReadECU), &ControlSpec(TControlId::WebAddress),
                                  &ControlSpec(TControlId::SWid)};
  for (size_t i = 0; i < std::size(owners); ++i) {
    const TFontSpec& known = owners[i]->font;
    if (known.height == font.height && known.underline == font.underline) {
      if (fonts_[i] == nullptr) {
        // Cyrillic character set: the font mapper then picks a face with the letters we show.
        fonts_[i] = CreateFontW(ScaleToDpi(font.height, static_cast<int>(dpi_)), 0, 0, 0, FW_NORMAL, FALSE, font.underline ? TRUE : FALSE, FALSE,
                                RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, Widen(font.face).c_str());
        fontCount_ = std::max(fontCount_, i + 1);
      }
      return fonts_[i];
    }
  }
  return fonts_[0];
}

// The last panel runs to the bar's right end, whatever the bar's width.
void TWin32Form1View::SetStatusParts(HWND bar) const {
  int edges[kStatusPanels];
  int right = 0;
  for (int i = 0; i < kStatusPanels; ++i) edges[i] = ScaleToDpi(right += kStatusPanelWidths[i], static_cast<int>(dpi_));
  edges[kStatusPanels - 1] = -1;
  SendMessageW(bar, SB_SETPARTS, kStatusPanels, reinterpret_cast<LPARAM>(edges));
}

// Moved to a screen of another DPI: the window, every control and every font at the new scale;
// the system's suggestion gives the window's new position.
void TWin32Form1View::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  const int scale = static_cast<int>(dpi);
  const int width = ScaleToDpi(kClientWidth, scale), height = ScaleToDpi(kClientHeight, scale);
  const SIZE frame = FrameSizeForClient(width, height, kFormStyle, dpi);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  // Where the system keeps the frame at its old scale the client area came out wrong: the
  // frame as it is decides.
  RECT outer{}, client{};
  GetWindowRect(window_, &outer);
  GetClientRect(window_, &client);
  if (client.right != width || client.bottom != height) {
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + width - client.right,
                 outer.bottom - outer.top + height - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const std::array<HFONT, 4> oldFonts = fonts_;
  fonts_ = {};
  fontCount_ = 0;
  for (const TControlSpec& spec : ControlTable()) {
    HWND control = controls_[IndexOf(spec.id)];
    if (control == nullptr) continue;
    const RECT place = PlaceOnWindow(spec);
    MoveWindow(control, place.left, place.top, place.right - place.left, place.bottom - place.top, FALSE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(spec.font)), FALSE);
    FitLabelToText(spec);
    if (spec.kind == TControlKind::StatusBar) SetStatusParts(control);
  }
  for (HFONT font : oldFonts)
    if (font != nullptr) DeleteObject(font);
  RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// A label that is not of fixed size grows with its text, as it did where the layout was drawn:
// a face a little wider at this scale than the layout assumed must not wrap a word out of
// sight ("Порт связи" at 150 %).
void TWin32Form1View::FitLabelToText(const TControlSpec& spec) {
  HWND label = controls_[IndexOf(spec.id)];
  if (spec.kind != TControlKind::Label || (spec.style & kStyleFixedSize) || label == nullptr) return;
  wchar_t text[256] = {};
  const int length = GetWindowTextW(label, text, static_cast<int>(std::size(text)));
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  const RECT place = PlaceOnWindow(spec);
  const int width = std::max<int>(place.right - place.left, extent.cx);
  const int height = std::max<int>(place.bottom - place.top, extent.cy);
  SetWindowPos(label, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Form1View::UpdateRadioTabStops() {
  HWND stop = nullptr, firstVisible = nullptr;
  for (const TControlSpec& spec : ControlTable()) {
    HWND radio = controls_[IndexOf(spec.id)];
    if (spec.kind != TControlKind::RadioButton || radio == nullptr) continue;
    if ((GetWindowLongPtrW(radio, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    if (firstVisible == nullptr) firstVisible = radio;
    if (SendMessageW(radio, BM_GETCHECK, 0, 0) == BST_CHECKED) stop = radio;
  }
  // A family checked from the settings may be a hidden one: the group stays reachable.
  if (stop == nullptr) stop = firstVisible;
  for (const TControlSpec& spec : ControlTable()) {
    HWND radio = controls_[IndexOf(spec.id)];
    if (spec.kind != TControlKind::RadioButton || radio == nullptr) continue;
    LONG_PTR style = GetWindowLongPtrW(radio, GWL_STYLE);
    style = radio == stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrW(radio, GWL_STYLE, style);
  }
}

void TWin32Form1View::CreateControls() {
  for (const TControlSpec* spec : CreationOrder()) controls_[IndexOf(spec->id)] = CreateControl(*spec);
}

HWND TWin32Form1View::CreateControl(const TControlSpec& spec) {
  TCreation creation = CreationFor(spec);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | creation.style;
  if (spec.visible) style |= WS_VISIBLE;
  if (!spec.enabled) style |= WS_DISABLED;
  // A radio group starts at its first button; every other focusable control starts a group.
  if (spec.kind != TControlKind::RadioButton || spec.id == TControlId::January) style |= WS_GROUP;
  const RECT place = PlaceOnWindow(spec);
  const int height = place.bottom - place.top;
  const std::wstring text = spec.kind == TControlKind::ComboBox ? std::wstring() : Widen(spec.text);
  HWND control = CreateWindowExW(creation.exStyle, creation.className, text.c_str(), style, place.left, place.top,
                                 place.right - place.left, height, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(spec.id))), instance_, nullptr);
  if (control == nullptr) return nullptr;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(spec.font)), FALSE);
  controls_[IndexOf(spec.id)] = control;
  FitLabelToText(spec);
  if (spec.checked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
  if (spec.kind == TControlKind::ComboBox && spec.items != nullptr) {
    std::string item;
    for (const char* c = spec.items;; ++c) {
      if (*c == '\n' || *c == '\0') {
        if (!item.empty()) SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
        item.clear();
        if (*c == '\0') break;
      } else {
        item.push_back(*c);
      }
    }
  }
  if (spec.kind == TControlKind::StatusBar) {
    SetStatusParts(control);
    SendMessageW(control, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"0%"));
  }
  if (spec.kind == TControlKind::ProgressBar) SendMessageW(control, PBM_SETRANGE32, 0, 100);
  return control;
}

TControlId TWin32Form1View::IdOf(HWND control) const {
  for (size_t i = 0; i < kControlCount; ++i)
    if (controls_[i] == control && control != nullptr) return static_cast<TControlId>(i);
  return TControlId::Form;
}

// --- What TForm1 says ------------------------------------------------------------------------

void TWin32Form1View::ApplyEnabled(TControlId id, bool enabled) {
  if (id == TControlId::CheckStatusTimer) {
    if (enabled) SetTimer(window_, kStatusTimerId, kTimerIntervalMs, nullptr);
    else KillTimer(window_, kStatusTimerId);
    // The timer stops exactly while a job owns the link.
    BlockShutdown(!enabled);
    return;
  }
  HWND control = controls_[IndexOf(id)];
  if (control == nullptr) return;
  if (id == TControlId::ECU) {
    // A group box does not pass its state on by itself: its buttons follow it here.
    groupEnabled_ = enabled;
    for (const TControlSpec& spec : ControlTable()) {
      if (spec.parent != TControlId::ECU) continue;
      const bool own = form_ == nullptr || form_->Control(spec.id).enabled;
      EnableWindow(controls_[IndexOf(spec.id)], (own && enabled) ? TRUE : FALSE);
    }
  }
  const bool parentEnabled = ControlSpec(id).parent != TControlId::ECU || groupEnabled_;
  EnableWindow(control, (enabled && parentEnabled) ? TRUE : FALSE);
}

void TWin32Form1View::ControlChanged(TControlId id, const TControlState& state, uint32_t aspects) {
  if (aspects & kAspectEnabled) ApplyEnabled(id, state.enabled);
  HWND control = controls_[IndexOf(id)];
  if (control == nullptr) return;
  const TControlSpec& spec = ControlSpec(id);
  if (aspects & kAspectText) {
    SetWindowTextW(control, Widen(state.text).c_str());
    FitLabelToText(spec);
    if (spec.style & kStyleTransparent) {
      // A transparent label draws no background: the old text is wiped by what lies below.
      RECT place = PlaceOnWindow(spec);
      RedrawWindow(window_, &place, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
  }
  if (aspects & kAspectVisible) ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
  if (aspects & kAspectChecked) SendMessageW(control, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if ((aspects & (kAspectChecked | kAspectVisible)) && spec.kind == TControlKind::RadioButton) UpdateRadioTabStops();
  if (aspects & kAspectItems) {
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : state.items)
      SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  if (aspects & kAspectSelection) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.selected), 0);
  if (aspects & kAspectPosition) SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(state.position), 0);
  if (aspects & kAspectPanels) {
    for (int i = 0; i < kStatusPanels; ++i)
      SendMessageW(control, SB_SETTEXTW, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(Widen(state.panels[static_cast<size_t>(i)]).c_str()));
  }
  if (aspects & kAspectColour) InvalidateRect(control, nullptr, TRUE);
  if (aspects & (kAspectText | kAspectPanels | kAspectPosition)) UpdateWindow(control);
}

int TWin32Form1View::ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ::MessageBoxW(window_, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

// A box of its own on a thread of its own, owned by no window: the window stays usable and
// its timer keeps ticking while the notice waits to be read.
void TWin32Form1View::ShowNotice(const std::string& text, const std::string& caption) {
  std::thread([wideText = Widen(text), wideCaption = Widen(caption)] {
    ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONWARNING | MB_TOPMOST);
  }).detach();
}

std::optional<std::string> TWin32Form1View::FileDialog(const TFileDialogSpec& dialog) {
  std::vector<wchar_t> path(kPathCapacity, L'\0');
  const std::wstring filter = DialogFilter(dialog.filter);
  const std::wstring title = Widen(dialog.title);
  const std::wstring extension = FirstExtension(dialog.defaultExtension);
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = window_;
  request.lpstrFilter = filter.c_str();
  request.nFilterIndex = static_cast<DWORD>(dialog.filterIndex);
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.size());
  request.lpstrTitle = title.c_str();
  request.lpstrDefExt = extension.c_str();
  request.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  // A read must not replace a file of the same name without the user's word.
  if (dialog.save) request.Flags |= OFN_OVERWRITEPROMPT;
  const BOOL chosen = dialog.save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
  if (!chosen) return std::nullopt;
  return Narrow(path.data());
}

void TWin32Form1View::SetCursor(TCursorShape shape) {
  busy_ = shape == TCursorShape::Hourglass;
  ::SetCursor(LoadCursorW(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
}

void TWin32Form1View::ShellOpen(const std::string& target, int showCommand) {
  ShellExecuteW(window_, L"open", Widen(target).c_str(), nullptr, nullptr, showCommand);
}

void TWin32Form1View::RequestClose() { PostMessageW(window_, WM_CLOSE, 0, 0); }

void TWin32Form1View::Invoke(const std::function<void()>& work) {
  if (GetCurrentThreadId() == windowThread_ || window_ == nullptr) {
    work();
    return;
  }
  SendMessageW(window_, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&work));
}

// --- What the user does ----------------------------------------------------------------------

bool TWin32Form1View::HandleKey(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  const TControlId id = IdOf(GetFocus());
  if (id == TControlId::Form) return false;
  const TControlKind kind = ControlSpec(id).kind;
  if (message.wParam == VK_RETURN && kind == TControlKind::Button) {
    SendMessageW(controls_[IndexOf(id)], BM_CLICK, 0, 0);
    return true;
  }
  const bool arrow = message.wParam == VK_UP || message.wParam == VK_DOWN || message.wParam == VK_LEFT ||
                     message.wParam == VK_RIGHT;
  if (arrow && kind == TControlKind::RadioButton) {
    // The dialog manager moves the focus; the button it lands on becomes the family.
    arrowInFamily_ = true;
    MSG copy = message;
    IsDialogMessageW(window_, &copy);
    arrowInFamily_ = false;
    return true;
  }
  return false;
}

void TWin32Form1View::RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ReportHandlerFailure(error.what());
  } catch (...) {
    ReportHandlerFailure(nullptr);
  }
}

void TWin32Form1View::ReportHandlerFailure(const char* what) {
  // The box's own message loop runs the timer's ticks: a failure that repeats every tick must
  // not stack a box per second over the first one.
  if (reportingFailure_) return;
  reportingFailure_ = true;
  std::wstring text = L"Действие не выполнено из-за внутренней ошибки программы";
  if (what != nullptr && *what != '\0') text += L" (" + Widen(what) + L")";
  text += L".\nПрограмма продолжает работу: повторите действие. Если ошибка повторится, дождитесь окончания "
          L"работы с ЭБУ и перезапустите программу.";
  ::MessageBoxW(window_, text.c_str(), L"Ошибка программы", MB_ICONERROR | MB_OK);
  reportingFailure_ = false;
}

// A logoff or restart during a job would leave the ECU half-programmed: refused, with a reason
// Windows shows the user.
bool TWin32Form1View::AllowEndSession() {
  if (form_ == nullptr || form_->JobRunning == 0) return true;
  BlockShutdown(true);
  return false;
}

void TWin32Form1View::BlockShutdown(bool block) {
  if (block == shutdownBlocked_ || window_ == nullptr) return;
  shutdownBlocked_ = block;
  if (block) ShutdownBlockReasonCreate(window_, kShutdownBlockReason);
  else ShutdownBlockReasonDestroy(window_);
}

LRESULT CALLBACK TWin32Form1View::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TWin32Form1View*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<TWin32Form1View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = 0;
  self->RunGuarded([&] { result = self->Handle(message, wParam, lParam); });
  return result;
}

void TWin32Form1View::OnCommand(WORD code, HWND control) {
  const TControlId id = IdOf(control);
  if (id == TControlId::Form || form_ == nullptr) return;
  const TControlKind kind = ControlSpec(id).kind;
  if (kind == TControlKind::ComboBox) {
    if (code == CBN_SELCHANGE)
      form_->SelectionChanged(id, static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
    return;
  }
  if (kind == TControlKind::Label && code == STN_CLICKED) form_->Click(id);
  if (kind == TControlKind::Button || kind == TControlKind::CheckBox || kind == TControlKind::RadioButton) {
    if (code == BN_CLICKED) form_->Click(id);
    if (code == BN_DOUBLECLICKED && kind == TControlKind::RadioButton) form_->Click(id);
    // An arrow key moves the focus within the family group; the focused button is the choice,
    // as with the mouse (some systems send BN_CLICKED for it as well: a second click is a no-op).
    // Focus by Tab or by the mouse is no choice by itself.
    if (code == BN_SETFOCUS && arrowInFamily_ && kind == TControlKind::RadioButton && !form_->IsChecked(id))
      form_->Click(id);
  }
}

LRESULT TWin32Form1View::ColourStatic(HDC dc, HWND control) {
  const TControlId id = IdOf(control);
  if (id == TControlId::Form) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  const TControlSpec& spec = ControlSpec(id);
  const uint32_t colour = form_ != nullptr ? form_->Control(id).textColour : spec.font.colour;
  if (colour != kColourSystem) SetTextColor(dc, colour);
  if (spec.kind == TControlKind::Edit) {
    SetBkColor(dc, spec.background);
    return reinterpret_cast<LRESULT>(passportBrush_);
  }
  if (spec.style & kStyleTransparent) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool TWin32Form1View::SetCursorFor(HWND child, UINT mouseMessage) {
  if (busy_) {
    ::SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }
  const TControlId id = IdOf(child);
  if (id == TControlId::WebAddress) {
    if (mouseMessage == WM_MOUSEMOVE && form_ != nullptr) form_->WebAddressMouseMove();
    ::SetCursor(handCursor_);
    return true;
  }
  return false;
}

LRESULT TWin32Form1View::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kInvokeMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return 0;
    case WM_COMMAND:
      OnCommand(HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
      if (SetCursorFor(reinterpret_cast<HWND>(wParam), HIWORD(lParam))) return TRUE;
      break;
    case WM_MOUSEMOVE:
      if (form_ != nullptr) form_->FormMouseMove();
      return 0;
    case WM_TIMER:
      if (wParam == kStatusTimerId && form_ != nullptr) form_->CheckStatusTimerTimer();
      return 0;
    case WM_CLOSE:
      if (form_ == nullptr || form_->FormCloseQuery()) {
        if (form_ != nullptr) form_->FormClose();
        DestroyWindow(window_);
      }
      return 0;
    case WM_QUERYENDSESSION:
      return AllowEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      // The session ends without a close: the settings are saved as a close would.
      if (wParam != FALSE && form_ != nullptr) form_->FormClose();
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DEVICECHANGE:
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED) &&
          form_ != nullptr)
        form_->PortsChanged();
      return TRUE;
    case WM_DESTROY:
      BlockShutdown(false);
      KillTimer(window_, kStatusTimerId);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace quillorn
