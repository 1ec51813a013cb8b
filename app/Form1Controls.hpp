#pragma once
// The window's controls as data: one row per control, in the order of the window's fields, with
// its kind, text, place, tab order, initial state, font and event. The Win32 view creates the
// real controls from this table and the tests check the layout against it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quillorn {

class TForm1;

enum class TControlId : uint8_t {
  ReadECU, WriteECU, StatusBar, Progress, OpenDialog, SaveDialog, ECU, January, Mikas, ExitButton,
  Copyright, DualProg, DeImmo, CheckStatusTimer, WebAddress, LongTimeout, ReadEEPROM, WriteEEPROM,
  Passport, SWid, Date, Engine, Passport1, Passport2, Passport3, VS51, M797, BaudList, Label1,
  January72, SecondPage, DeviceType, PassportText, M10, Ident, Avtron, MP70, ComSelector, Label2,
  Form,  // the window itself: the parent of the top-level controls
};
inline constexpr size_t kControlCount = static_cast<size_t>(TControlId::Form);

// How far the job controls are open: none, all the family allows, or only identification
// while the poll searches for the ECU.
enum TControlMode : int { ControlsOff = 0, ControlsReady = 1, ControlsSearching = 2 };

enum class TControlKind : uint8_t {
  Button, CheckBox, RadioButton, GroupBox, Label, Edit, ComboBox, StatusBar, ProgressBar, Panel,
  Timer, OpenDialog, SaveDialog,
};

// Colours as 0x00BBGGRR, the way the Win32 API takes them.
constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (b << 16); }
inline constexpr uint32_t kColourSystem = 0xFF000000u;  // the system's colour, not a fixed one
inline constexpr uint32_t kColourWindowText = kColourSystem;
inline constexpr uint32_t kColourNavy = Rgb(0, 0, 128);
inline constexpr uint32_t kColourBlue = Rgb(0, 0, 255);
inline constexpr uint32_t kColourLime = Rgb(0, 255, 0);
inline constexpr uint32_t kColourGrey = Rgb(128, 128, 128);

struct TFontSpec {
  const char* face = "MS Sans Serif";
  int height = -11;  // pixels, negative: character height
  bool underline = false;
  uint32_t colour = kColourWindowText;
};

struct TPlace {
  int left = 0, top = 0, width = 0, height = 0;
};

using TForm1Handler = void (TForm1::*)();

// Look and behaviour flags beyond the kind.
enum TControlStyle : uint32_t {
  kStyleNone = 0,
  kStyleReadOnlyFlat = 1,       // read-only edit without a 3-D border
  kStyleOemConvert = 2,         // edit that converts typed text through the OEM character set
  kStyleTransparent = 4,        // label drawn over its parent's background
  kStyleHandCursor = 8,         // shows the pointing-hand cursor
  kStyleBevelRaisedLowered = 16,// panel: raised inner, lowered outer bevel
  kStyleNoSizeGrip = 32,        // status bar
  kStyleDockedBottom = 64,      // progress bar above the status bar
  kStyleFixedSize = 128,        // label that keeps its size whatever its text
};

struct TControlSpec {
  TControlId id;
  const char* name;
  TControlKind kind;
  const char* text;  // UTF-8; for the dialogs their title
  TPlace place;      // client pixels relative to the parent; zero for components without a place
  TControlId parent;
  int tabOrder;      // -1 for controls that take no focus
  bool visible;
  bool enabled;
  bool checked;
  TFontSpec font;
  uint32_t background;  // 0xFF000000: the system's colour
  uint32_t style;
  const char* event;      // handler names as the window's code calls them, "" for none
  TForm1Handler onClick;  // click (buttons, check boxes, radio buttons, labels), change (lists)
  const char* items;      // drop-down lists: the initial items, one per line; nullptr otherwise
};

std::span<const TControlSpec> ControlTable();
const TControlSpec& ControlSpec(TControlId id);
inline size_t IndexOf(TControlId id) { return static_cast<size_t>(id); }

// Status bar panels: widths and the text panel 1 shows at rest.
inline constexpr int kStatusPanelWidths[3] = {230, 40, 50};

// The window itself.
inline constexpr const char* kFormCaption = "Программатор ЭБУ";
inline constexpr int kClientWidth = 385, kClientHeight = 343;
inline constexpr uint32_t kTimerIntervalMs = 1000;

// The file dialogs. Filters as "description|pattern|description|pattern".
struct TFileDialogSpec {
  TControlId id;
  const char* title;
  const char* filter;
  int filterIndex;  // 1-based, as the dialogs count
  const char* defaultExtension;
  bool save;
};
const TFileDialogSpec& OpenDialogSpec();
const TFileDialogSpec& SaveDialogSpec();

// The maker's web address, which WebAddress shows and opens.
inline constexpr const char* kWebAddress = "https://orvik.invalid/quillorn";

}  // namespace quillorn
