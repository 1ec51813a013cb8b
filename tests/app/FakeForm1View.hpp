#pragma once
// A recording window for TForm1: it keeps what the window would show, answers message boxes
// and file dialogs from a script, and runs Invoke'd work at once under a lock (the job thread's
// updates arrive in order, as they would through the real window's thread).
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Form1View.hpp"

namespace quillorn::test {

struct TShownBox {
  std::string text;
  std::string caption;
  unsigned flags = 0;
};

class TFakeForm1View final : public IForm1View {
 public:
  void ControlChanged(TControlId id, const TControlState& state, uint32_t aspects) override {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    shown[id] = state;
    changes.emplace_back(id, aspects);
    if (id == TControlId::StatusBar) panelHistory.push_back(state.panels);
  }
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    boxes.push_back({text, caption, flags});
    if (answers.empty()) return flags == 0x44 ? kAnswerNo : kAnswerOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowNotice(const std::string& text, const std::string&) override {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    notices.push_back(text);
  }
  std::optional<std::string> FileDialog(const TFileDialogSpec& dialog) override {
    dialogs.push_back(dialog.title);
    if (dialogPaths.empty()) return std::nullopt;
    auto path = dialogPaths.front();
    dialogPaths.pop_front();
    return path;
  }
  void SetCursor(TCursorShape shape) override { cursors.push_back(shape); }
  void ShellOpen(const std::string& target, int showCommand) override { shellOpens.emplace_back(target, showCommand); }
  void RequestClose() override { ++closeRequests; }
  void Invoke(const std::function<void()>& work) override {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    ++invokes;
    work();
  }

  std::vector<TShownBox> Boxes() {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return boxes;
  }

  std::recursive_mutex mutex;
  std::vector<std::string> notices;
  std::map<TControlId, TControlState> shown;
  std::vector<std::pair<TControlId, uint32_t>> changes;
  std::vector<std::array<std::string, 3>> panelHistory;
  std::vector<TShownBox> boxes;
  std::deque<int> answers;
  std::deque<std::optional<std::string>> dialogPaths;
  std::vector<std::string> dialogs;
  std::vector<TCursorShape> cursors;
  std::vector<std::pair<std::string, int>> shellOpens;
  int closeRequests = 0;
  int invokes = 0;
};

}  // namespace quillorn::test
