// The control table is what the real window is built from: a control outside its parent, two
// controls with one tab position or a wrong row order would show up only on screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
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

TEST(ControlTable, TabOrdersRunWithoutGapsWithinEachParent) {
  std::map<TControlId, std::vector<std::pair<int, std::string>>> byParent;
  for (const TControlSpec& spec : ControlTable())
    if (spec.tabOrder >= 0) byParent[spec.parent].emplace_back(spec.tabOrder, spec.name);
  for (auto& [parent, orders] : byParent) {
    std::sort(orders.begin(), orders.end());
    for (size_t i = 0; i < orders.size(); ++i) EXPECT_EQ(orders[i].first, static_cast<int>(i)) << orders[i].second;
  }
  std::vector<std::string> topLevel;
  for (auto& [order, name] : byParent[TControlId::Form]) topLevel.push_back(name);
  const std::vector<std::string> expected{"ReadECU",  "WriteECU",   "StatusBar",   "Progress",   "ECU",
                                          "ExitButton", "DualProg", "DeImmo",     "LongTimeout", "ReadEEPROM",
                                          "WriteEEPROM", "Passport", "BaudList",  "SecondPage",  "Ident",
                                          "ComSelector"};
  EXPECT_EQ(topLevel, expected);
  std::vector<std::string> family;
  for (auto& [order, name] : byParent[TControlId::ECU]) family.push_back(name);
  EXPECT_EQ(family, (std::vector<std::string>{"January", "VS51", "Mikas", "January72", "M797", "M10", "Avtron", "MP70"}));
}

TEST(ControlTable, HiddenControlsAndInitialStates) {
  std::set<std::string> hidden;
  for (const TControlSpec& spec : ControlTable())
    if (!spec.visible && HasPlace(spec)) hidden.insert(spec.name);
  EXPECT_EQ(hidden, (std::set<std::string>{"LongTimeout", "M797", "M10", "Avtron", "MP70"}));
  EXPECT_TRUE(ControlSpec(TControlId::January).checked);
  EXPECT_FALSE(ControlSpec(TControlId::Ident).enabled);
  EXPECT_FALSE(ControlSpec(TControlId::CheckStatusTimer).enabled);
  EXPECT_STREQ(ControlSpec(TControlId::BaudList).items, "57600\n38400\n19200\n9600");
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

TEST(ControlTable, FontsAndDialogs) {
  const TControlSpec& web = ControlSpec(TControlId::WebAddress);
  EXPECT_TRUE(web.font.underline);
  EXPECT_EQ(web.font.height, -12);
  EXPECT_EQ(web.font.colour, Rgb(0, 0, 128));
  for (TControlId edit : {TControlId::SWid, TControlId::Date, TControlId::Engine}) {
    EXPECT_EQ(ControlSpec(edit).font.colour, Rgb(0, 255, 0));
    EXPECT_EQ(ControlSpec(edit).background, Rgb(128, 128, 128));
    EXPECT_TRUE(ControlSpec(edit).style & kStyleReadOnlyFlat);
    EXPECT_EQ(ControlSpec(edit).parent, TControlId::Passport);
  }
  EXPECT_TRUE(ControlSpec(TControlId::SWid).style & kStyleOemConvert);
  EXPECT_EQ(OpenDialogSpec().filterIndex, 2);
  EXPECT_FALSE(OpenDialogSpec().save);
  EXPECT_TRUE(SaveDialogSpec().save);
}

}  // namespace
}  // namespace quillorn
