// The Sonvert page: the codecs a registry of the test's own reports, the
// formats that have rules, a rule chosen from the menu (stored at once, even
// when the sheet is cancelled) and the reset.
#include "shell/options/opt_sonvert.h"

#include <gtest/gtest.h>

#include <set>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "platform/ui/list_view.h"
#include "shell/transfer/transcode_rules.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

// Decodes WAV, MP3 and FLAC; encodes MP3 only.
class TestCodecs : public CodecRegistry {
 public:
  bool FindDecoder(int format, std::string& name) override {
    name = "decoder " + std::to_string(format);
    return std::set<int>{1, 2, 11}.count(format) != 0;
  }
  bool FindEncoder(int format, std::string& name) override {
    name = "encoder " + std::to_string(format);
    return format == 2;
  }
};

class SonvertPage : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());  // the player takes wav, mp3, wma and ogg
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    SetCodecRegistry(std::make_shared<TestCodecs>());
  }
  void TearDown() override { SetCodecRegistry(nullptr); }
  int Run(OptSonvert& page, std::vector<UiAction> script, int end) {
    ui::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    for (auto& a : script) ui_->Push(a);
    ui_->Push(UiAction::Press(end));
    return sheet.DoModal();
  }
  // Each listed row as "format: rule".
  static std::vector<std::string> Rows(OptSonvert& page, int list) {
    auto& view = page.Ctl<ui::ListView>(list);
    std::vector<std::string> out;
    for (int r = 0; r < view.ItemCount(); ++r) out.push_back(view.ItemText(r, 0) + ": " + view.ItemText(r, 1));
    return out;
  }
  // A right click on the rules list.
  static UiAction RightClick(OptSonvert& page) {
    return UiAction::Call([&page] { page.OnNotify(page.Ctl<ui::ListView>(1239), ui::kNmRClick, 0); });
  }
  ui::ScopedUiDriver<> ui_;
};

TEST_F(SonvertPage, ARuleChosenIsStoredAtOnceAndTheSwitchOnlyWithOk) {
  WriteSettingDword("Xc2_On", 1);
  OptSonvert page;
  const std::vector<std::string> defaults = {"wav: Transfer without Sonverting", "mp3: Transfer without Sonverting",
                                             "wma: Transfer without Sonverting", "ogg: Transfer without Sonverting",
                                             "flac: Convert to MP3, then Transfer"};
  EXPECT_EQ(Run(page,
                {UiAction::Call([&] {
                   EXPECT_EQ(Rows(page, 1237), (std::vector<std::string>{"wav: decoder 1", "mp3: decoder 2",
                                                                          "flac: decoder 11"}));
                   EXPECT_EQ(Rows(page, 1238), (std::vector<std::string>{"mp3: encoder 2"}));
                   EXPECT_EQ(Rows(page, 1239), defaults) << "formats without a rule are not listed";
                   EXPECT_TRUE(page.FindControl(1239)->IsEnabled());
                 }),
                 // No row selected: said, nothing stored.
                 RightClick(page), UiAction::Answer(ui::kIdOk),
                 // mp3's menu: as is, separator, reduce, separator; the third entry is chosen.
                 UiAction::Set(1239, "1"), RightClick(page), UiAction::ChooseMenu(6002),
                 UiAction::Call([&] { EXPECT_EQ(Rows(page, 1239)[1], "mp3: Reduce Bitrate, then Transfer"); }),
                 UiAction::Press(1243),
                 UiAction::Call([&] {
                   EXPECT_FALSE(page.FindControl(1239)->IsEnabled());
                   EXPECT_FALSE(page.FindControl(1241)->IsEnabled());
                 })},
                ui::kIdCancel),
            ui::kIdCancel);
  ASSERT_FALSE(ui_->Messages().empty());
  EXPECT_EQ(ui_->Messages()[0].text, "Please select one rule to change.");
  EXPECT_EQ(SettingDword("Xc2_S02", 0), uint32_t(2 | kRuleReduceBitrate << 16)) << "stored though cancelled";
  EXPECT_EQ(SettingDword("Xc2_On", 7), 1u) << "the switch waits for OK";

  OptSonvert reset;
  EXPECT_EQ(Run(reset,
                {UiAction::Call([&] { EXPECT_EQ(Rows(reset, 1239)[1], "mp3: Reduce Bitrate, then Transfer"); }),
                 UiAction::Press(1241), UiAction::Call([&] { EXPECT_EQ(Rows(reset, 1239), defaults); }),
                 UiAction::Press(1243)},
                ui::kIdOk),
            ui::kIdOk);
  EXPECT_EQ(SettingDword("Xc2_S02", 0), 0u);
  EXPECT_EQ(SettingDword("Xc2_On", 7), 0u);
}

}  // namespace
}  // namespace hub
