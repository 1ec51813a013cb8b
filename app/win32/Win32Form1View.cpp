#include "app/win32/Win32Form1View.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace quillorn {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kDropDownListHeight = 200;  // room for the open list below a drop-down
constexpr size_t kPathCapacity = 32768;   // the longest path the system takes
constexpr int kStatusPanels = 3;

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
    case TControlKind::RadioButton: return {L"BUTTON", BS_RADIOBUTTON, 0};
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

  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  window_ = CreateWindowExW(0, kFormClassName, Widen(kFormCaption).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  CreateControls();
  return true;
}

RECT TWin32Form1View::PlaceOnWindow(const TControlSpec& spec) const {
  int left = spec.place.left, top = spec.place.top;
  if (spec.parent != TControlId::Form) {
    left += ControlSpec(spec.parent).place.left;
    top += ControlSpec(spec.parent).place.top;
  }
  return RECT{left, top, left + spec.place.width, top + spec.place.height};
}

HFONT TWin32Form1View::FontFor(const TFontSpec& font) {
  const TControlSpec* owners[] = {&ControlSpec(TControlId::ReadECU), &ControlSpec(TControlId::WebAddress),
                                  &ControlSpec(TControlId::SWid)};
  for (size_t i = 0; i < std::size(owners); ++i) {
    const TFontSpec& known = owners[i]->font;
    if (known.height == font.height && known.underline == font.underline) {
      if (fonts_[i] == nullptr) {
        // Cyrillic character set: the font mapper then picks a face with the letters we show.
        fonts_[i] = CreateFontW(font.height, 0, 0, 0, FW_NORMAL, FALSE, font.underline ? TRUE : FALSE, FALSE,
                                RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, Widen(font.face).c_str());
        fontCount_ = std::max(fontCount_, i + 1);
      }
      return fonts_[i];
    }
  }
  return fonts_[0];
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
  int height = place.bottom - place.top;
  if (spec.kind == TControlKind::ComboBox) height += kDropDownListHeight;
  const std::wstring text = spec.kind == TControlKind::ComboBox ? std::wstring() : Widen(spec.text);
  HWND control = CreateWindowExW(creation.exStyle, creation.className, text.c_str(), style, place.left, place.top,
                                 place.right - place.left, height, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(spec.id))), instance_, nullptr);
  if (control == nullptr) return nullptr;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(spec.font)), FALSE);
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
    int edges[kStatusPanels];
    int right = 0;
    for (int i = 0; i < kStatusPanels; ++i) edges[i] = right += kStatusPanelWidths[i];
    SendMessageW(control, SB_SETPARTS, kStatusPanels, reinterpret_cast<LPARAM>(edges));
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
    if (spec.style & kStyleTransparent) {
      // A transparent label draws no background: the old text is wiped by what lies below.
      RECT place = PlaceOnWindow(spec);
      RedrawWindow(window_, &place, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
  }
  if (aspects & kAspectVisible) ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
  if (aspects & kAspectChecked) SendMessageW(control, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
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

LRESULT CALLBACK TWin32Form1View::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TWin32Form1View*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<TWin32Form1View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
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
    case WM_DESTROY:
      KillTimer(window_, kStatusTimerId);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace quillorn
