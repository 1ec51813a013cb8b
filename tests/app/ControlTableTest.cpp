// The control table is what the real window is built from: a control outside its parent, two
// controls with one tab position or a wrong row order would show up only on screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/DpiScale.hpp"
#include "app/Form1Controls.hpp"

namespace quillorn {
namespace {

bool HasPlace(const TControlSpec& spec) {
  return spec.kind != TControlKind::Timer && spec.kind != TControlKind::OpenDialog &&
         spec.kind != TControlKind::SaveDialog;
}

TEST(ControlTable, RowsAreInIdentifierOrderWithUniqueNames) {
  const auto table = ControlTable();
  ASSERT_EQ(table.size(), kControlCount);
  std::set<std::string> names;
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(IndexOf(table[i].id), i) << table[i].name;
    EXPECT_TRUE(names.insert(table[i].name).second) << table[i].name;
  }
}

TEST(ControlTable, EveryControlLiesInsideItsParent) {
  for (const TControlSpec& spec : ControlTable()) {
    // The hidden family buttons overhang the group box; nothing ever shows them.
    if (!HasPlace(spec) || !spec.visible) continue;
    int width = kClientWidth, height = kClientHeight;
    if (spec.parent != TControlId::Form) {
      width = ControlSpec(spec.parent).place.width;
      height = ControlSpec(spec.parent).place.height;
    }
    EXPECT_GE(spec.place.left, 0) << spec.name;
    EXPECT_GE(spec.place.top, 0) << spec.name;
    EXPECT_LE(spec.place.left + spec.place.width, width) << spec.name;
    EXPECT_LE(spec.place.top + spec.place.height, height) << spec.name;
  }
}

bool TakesInput(TControlKind kind) {
  return kind == TControlKind::Button || kind == TControlKind::CheckBox || kind == TControlKind::RadioButton ||
         kind == TControlKind::Edit || kind == TControlKind::ComboBox;
}

// The keyboard reaches every visible control that takes input: it has a tab position, and so
// has every container on the way up to the window; only windowed controls take one.
TEST(ControlTable, TabOrdersRunWithoutGapsWithinEachParent) {
  std::map<TControlId, std::vector<std::pair<int, std::string>>> byParent;
  for (const TControlSpec& spec : ControlTable())
    if (spec.tabOrder >= 0) byParent[spec.parent].emplace_back(spec.tabOrder, spec.name);
  for (auto& [parent, orders] : byParent) {
    std::sort(orders.begin(), orders.end());
    for (size_t i = 0; i < orders.size(); ++i) EXPECT_EQ(orders[i].first, static_cast<int>(i)) << orders[i].second;
  }
  for (const TControlSpec& spec : ControlTable()) {
    if (spec.tabOrder >= 0) {
      EXPECT_TRUE(HasPlace(spec) && spec.kind != TControlKind::Label) << spec.name << " cannot take the focus";
      EXPECT_GT(spec.place.width * spec.place.height, 0) << spec.name;
    }
    if (!spec.visible || !TakesInput(spec.kind)) continue;
    for (TControlId at = spec.id; at != TControlId::Form; at = ControlSpec(at).parent) {
      EXPECT_GE(ControlSpec(at).tabOrder, 0) << spec.name << ": the keyboard cannot reach " << ControlSpec(at).name;
      EXPECT_TRUE(ControlSpec(at).visible) << spec.name << " sits in hidden " << ControlSpec(at).name;
    }
  }
  const auto table = ControlTable();
  const auto& first = byParent[TControlId::Form].front().second;
  const auto opening = std::find_if(table.begin(), table.end(), [&](const TControlSpec& spec) { return spec.name == first; });
  ASSERT_NE(opening, table.end());
  EXPECT_TRUE(opening->visible && opening->enabled && TakesInput(opening->kind))
      << "the window opens with the focus on " << first;
}

// A hidden option must not change a job behind the user's back, the window must open with a
// family chosen that the user can see, and nothing without a place is ever shown.
TEST(ControlTable, HiddenControlsAndInitialStates) {
  std::map<TControlId, std::vector<const TControlSpec*>> radioGroups;
  for (const TControlSpec& spec : ControlTable()) {
    if (!HasPlace(spec)) {
      EXPECT_FALSE(spec.visible) << spec.name;
    }
    if (HasPlace(spec) && !spec.visible) {
      EXPECT_TRUE(spec.kind == TControlKind::CheckBox || spec.kind == TControlKind::RadioButton)
          << spec.name << ": only options are hidden, never the window's buttons, lists or texts";
      EXPECT_FALSE(spec.checked) << spec.name << " is hidden yet switched on";
    }
    if (spec.kind == TControlKind::RadioButton) radioGroups[spec.parent].push_back(&spec);
  }
  ASSERT_FALSE(radioGroups.empty());
  for (const auto& [group, radios] : radioGroups) {
    const auto checked = std::count_if(radios.begin(), radios.end(), [](auto* r) { return r->checked; });
    EXPECT_EQ(checked, 1) << ControlSpec(group).name;
    for (const TControlSpec* radio : radios) {
      if (radio->checked) {
        EXPECT_TRUE(radio->visible && radio->enabled) << radio->name;
      }
    }
  }
  // Ident needs a box that has answered; the poll must not run before the window exists.
  EXPECT_FALSE(ControlSpec(TControlId::Ident).enabled);
  EXPECT_FALSE(ControlSpec(TControlId::CheckStatusTimer).enabled);
  // Every speed offered is one a serial port can be set to.
  std::stringstream items(ControlSpec(TControlId::BaudList).items);
  int offered = 0;
  for (std::string line; std::getline(items, line); ++offered) {
    const int baud = std::stoi(line);
    EXPECT_TRUE(baud >= 1200 && 115200 % baud == 0) << line;
  }
  EXPECT_GT(offered, 0);
}

TEST(ControlTable, EveryEventNamedHasAHandlerAndBack) {
  for (const TControlSpec& spec : ControlTable()) {
    const std::string event = spec.event;
    if (spec.onClick != nullptr) {
      EXPECT_FALSE(event.empty()) << spec.name;
    }
    // Buttons and radio buttons must do something when clicked.
    if (spec.kind == TControlKind::Button || spec.kind == TControlKind::RadioButton) {
      EXPECT_NE(spec.onClick, nullptr) << spec.name;
    }
  }
  EXPECT_EQ(ControlSpec(TControlId::SecondPage).onClick, nullptr);
}

// At 125 %, 150 % and 200 % the layout grows as a whole: lengths round to the nearest pixel,
// font heights stay negative, the progress bar still sits on the status bar and no visible
// control leaves its parent.
TEST(ControlTable, LayoutScalesToTheScreensDpi) {
  const struct {
    int length, dpi, expected;
  } lengths[] = {{385, 96, 385}, {385, 144, 578}, {343, 144, 515}, {-11, 144, -17}, {-12, 120, -15},
                 {19, 120, 24}, {10, 144, 15}, {1, 144, 2}, {385, 192, 770}, {-11, 192, -22}};
  for (const auto& v : lengths) EXPECT_EQ(ScaleToDpi(v.length, v.dpi), v.expected) << v.length << " at " << v.dpi;

  for (int dpi : {96, 120, 144, 168, 192}) {
    const TPlace progress = ScalePlace(ControlSpec(TControlId::Progress).place, dpi);
    const TPlace bar = ScalePlace(ControlSpec(TControlId::StatusBar).place, dpi);
    EXPECT_EQ(progress.top + progress.height, bar.top) << dpi;
    EXPECT_EQ(bar.top + bar.height, ScaleToDpi(kClientHeight, dpi)) << dpi;
    for (const TControlSpec& spec : ControlTable()) {
      if (!HasPlace(spec) || !spec.visible) continue;
      const TPlace place = ScalePlace(spec.place, dpi);
      const TPlace parent = spec.parent == TControlId::Form ? TPlace{0, 0, kClientWidth, kClientHeight}
                                                            : ControlSpec(spec.parent).place;
      const TPlace within = ScalePlace(TPlace{0, 0, parent.width, parent.height}, dpi);
      EXPECT_LE(place.left + place.width, within.width) << spec.name << " at " << dpi;
      EXPECT_LE(place.top + place.height, within.height) << spec.name << " at " << dpi;
    }
  }
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

// Every control has a font the window can create and text that stands out from its background;
// what looks like a link acts as one; each dialog's preselected filter and default extensions
// are among the filters it offers.
TEST(ControlTable, FontsAndDialogs) {
  for (const TControlSpec& spec : ControlTable()) {
    ASSERT_NE(spec.font.face, nullptr) << spec.name;
    EXPECT_FALSE(std::string(spec.font.face).empty()) << spec.name;
    EXPECT_TRUE(spec.font.height <= -8 && spec.font.height >= -16) << spec.name << ": a character height, readable";
    if (spec.font.colour != kColourSystem && spec.background != kColourSystem) {
      EXPECT_NE(spec.font.colour, spec.background) << spec.name;
    }
    if (spec.font.underline) {
      EXPECT_NE(spec.onClick, nullptr) << spec.name << " looks like a link";
      EXPECT_TRUE(spec.style & kStyleHandCursor) << spec.name;
    }
    if (spec.style & kStyleHandCursor) {
      EXPECT_NE(spec.onClick, nullptr) << spec.name;
    }
  }
  for (const TFileDialogSpec* dialog : {&OpenDialogSpec(), &SaveDialogSpec()}) {
    const TControlSpec& row = ControlSpec(dialog->id);
    EXPECT_EQ(row.kind, dialog->save ? TControlKind::SaveDialog : TControlKind::OpenDialog) << row.name;
    EXPECT_STREQ(row.text, dialog->title);
    const auto filter = Split(dialog->filter, '|');
    ASSERT_EQ(filter.size() % 2, 0u) << row.name << ": description and pattern in pairs";
    EXPECT_TRUE(dialog->filterIndex >= 1 && dialog->filterIndex <= static_cast<int>(filter.size() / 2)) << row.name;
    std::set<std::string> patterns;
    for (size_t i = 1; i < filter.size(); i += 2)
      for (const auto& pattern : Split(filter[i], ';')) patterns.insert(pattern);
    for (const auto& extension : Split(dialog->defaultExtension, ';')) {
      EXPECT_TRUE(patterns.count(extension)) << row.name << " defaults to " << extension;
    }
  }
}

}  // namespace
}  // namespace quillorn
