#pragma once
// What the window logic needs from the real window: the controls' look follows TForm1's state,
// and a few modal things (message boxes, file dialogs) and shell services. Calls come from the
// window's own thread; job threads reach the view only through Invoke.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Form1Controls.hpp"

namespace quillorn {

// The state of one control as TForm1 owns it.
struct TControlState {
  std::string text;                   // UTF-8
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  std::vector<std::string> items;     // drop-down lists
  int selected = -1;                  // -1: no item selected
  int position = 0;                   // progress bar
  std::array<std::string, 3> panels;  // status bar
  uint32_t textColour = kColourWindowText;
};

// Which parts of a control's state changed.
enum TAspect : uint32_t {
  kAspectText = 1, kAspectEnabled = 2, kAspectVisible = 4, kAspectChecked = 8, kAspectItems = 16,
  kAspectSelection = 32, kAspectPosition = 64, kAspectPanels = 128, kAspectColour = 256,
};

// Message box answers, as the system gives them.
inline constexpr int kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7;

enum class TCursorShape { Arrow, Hourglass };

class IForm1View {
 public:
  virtual ~IForm1View() = default;
  // A control's state changed in the parts aspects names; the view shows it at once.
  virtual void ControlChanged(TControlId id, const TControlState& state, uint32_t aspects) = 0;
  // Modal message box (texts UTF-8, flags as the system's message box takes them); the answer.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // A notice the user reads when they like: shown at once, returns at once, holds up nothing
  // (no poll, no job, no input to the window).
  virtual void ShowNotice(const std::string& text, const std::string& caption) = 0;
  // Modal open or save dialog; the chosen path (UTF-8), or nothing when cancelled.
  virtual std::optional<std::string> FileDialog(const TFileDialogSpec& dialog) = 0;
  virtual void SetCursor(TCursorShape shape) = 0;
  // Asks the shell to "open" the target with the given show command.
  virtual void ShellOpen(const std::string& target, int showCommand) = 0;
  // Asks the window to close; the close goes through FormCloseQuery and FormClose.
  virtual void RequestClose() = 0;
  // Runs work on the window's thread and returns when it is done: how a job thread's updates
  // reach the controls at once and in order. Called on the window's thread it runs at once.
  virtual void Invoke(const std::function<void()>& work) = 0;
};

}  // namespace quillorn
