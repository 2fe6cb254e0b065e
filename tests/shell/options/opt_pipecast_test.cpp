// The Pipecast page: the media-library plug-in copies by the installer's bits,
// the boxes, the host's folder and its window; the playlist program chosen for
// ".m3u" among the desktop's players and the registered ones.
#include "shell/options/opt_pipecast.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/registry/registry.h"
#include "platform/shell/installed_programs.h"
#include "platform/ui/controls.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "support/hermetic_env.h"
#include "support/player_fixture.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using platform::Hive;
using platform::Registry;
using platform::RegistryValue;
using ui::UiAction;

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp";
const std::string kM3uChoice = std::string(platform::kFileExtsKey) + ".m3u";

class PipecastPage : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    key_ = TheProductProfile().productRegistryKey;
    test::InstallProductKey(key_);
    // The install folder holds the library the plug-in copies are made of.
    install_ = test::MakeTempDir("install");
    std::ofstream(install_ + "/kestro.so") << "plug-in library";
    Registry::Instance().Write(Hive::CurrentUser, key_, "", RegistryValue::String(install_));
    host_ = test::MakeTempDir("host");
    fs::create_directories(host_ + "/Plugins");
  }
  void TearDown() override {
    Registry::Instance().DeleteKey(Hive::LocalMachine, kUninstall);
    Registry::Instance().DeleteKey(Hive::CurrentUser, key_);
  }
  void RecordHost() {
    Registry& r = Registry::Instance();
    ASSERT_TRUE(r.CreateKey(Hive::LocalMachine, kUninstall));
    ASSERT_TRUE(r.Write(Hive::LocalMachine, kUninstall, "UninstallString",
                        RegistryValue::String("\"" + host_ + "/UninstWA.exe\" /S")));
  }
  // `after`: the answers to what the closing press brings up.
  int RunPage(OptPipecast& page, std::vector<UiAction> script, int end = ui::kIdOk, std::vector<UiAction> after = {}) {
    ui::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    for (auto& a : script) ui_->Push(a);
    ui_->Push(UiAction::Press(end));
    for (auto& a : after) ui_->Push(a);
    return sheet.DoModal();
  }
  std::string Plugin() const { return host_ + "/Plugins/ml_kestrojz.so"; }
  std::string Chosen() {
    auto v = Registry::Instance().Read(Hive::CurrentUser, kM3uChoice, "Application");
    return v && v->type == platform::ValueType::String ? v->data : "<none>";
  }
  std::vector<std::string> Items(OptPipecast& page) {
    auto& combo = page.Ctl<ui::ComboBox>(1230);
    std::vector<std::string> out;
    for (int i = 0; i < combo.Count(); ++i) out.push_back(combo.ItemText(i));
    return out;
  }

  std::string key_, install_, host_;
  ui::ScopedUiDriver<> ui_;
};

TEST_F(PipecastPage, PluginCopiesFollowTheBitsTheBoxesTheFolderAndTheHostWindow) {
  struct Case {
    const char* name;
    uint32_t bits;
    bool record, hostWindow, before, click;
    std::vector<std::string> actions;
    bool after;
    const char* message;
  } cases[] = {
      {"integration off: the boxes hidden, the file left", 0x40, true, false, true, false, {}, true, nullptr},
      {"ticked: copied", 0x01000040, true, false, false, true, {"copy " + Plugin()}, true, nullptr},
      {"unticked: deleted", 0x01000040, true, false, true, true, {"delete " + Plugin()}, false, nullptr},
      {"not clicked: left as it is", 0x01000040, true, false, true, false, {}, true, nullptr},
      {"host running: refused", 0x01000040, true, true, false, true, {}, false,
       "Please close Winamp before changing these options."},
      {"no uninstall record: no folder, said", 0x01000040, false, false, false, true, {"no plug-in folder"}, false,
       "The media-library plug-in files were not changed: the player program's installation could not be found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Registry::Instance().DeleteKey(Hive::LocalMachine, kUninstall);
    if (c.record) RecordHost();
    fs::remove(Plugin());
    if (c.before) std::ofstream(Plugin()) << "plug-in library";
    WriteSettingDword("Vad_InstallResult", c.bits);
    std::optional<platform::ScopedWindowClass> hostClass;
    platform::WindowHandle host = 0;
    if (c.hostWindow) {
      hostClass.emplace("Winamp v1.x", platform::DefaultWindowProc);
      host = platform::CreateHiddenWindow("Winamp v1.x", "Winamp");
      ASSERT_NE(host, 0u);
    }
    size_t messages = ui_->Messages().size();
    OptPipecast page;
    std::vector<UiAction> script;
    if (c.click) script.push_back(UiAction::Press(1111));
    if (c.message && c.hostWindow) script.push_back(UiAction::Answer(ui::kIdOk));
    std::vector<UiAction> after;
    if (c.message && !c.hostWindow) after.push_back(UiAction::Answer(ui::kIdOk));
    EXPECT_EQ(RunPage(page, script, ui::kIdOk, after), ui::kIdOk);
    EXPECT_EQ(page.lastPluginActions, c.actions);
    EXPECT_EQ(fs::exists(Plugin()), c.after);
    if (c.after) {
      std::ifstream in(Plugin());
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes, "plug-in library");
    }
    if (c.message) {
      ASSERT_EQ(ui_->Messages().size(), messages + 1);
      EXPECT_EQ(ui_->Messages().back().text, c.message);
    } else {
      EXPECT_EQ(ui_->Messages().size(), messages);
    }
    if (host) platform::DestroyWindow(host);
  }
}

TEST_F(PipecastPage, BoxesShowTheInstalledFilesAndTheirBits) {
  RecordHost();
  std::ofstream(host_ + "/Plugins/ml_kestroj2.so") << "x";
  WriteSettingDword("Vad_InstallResult", 0x01000010);  // integration, j2 only
  OptPipecast page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] {
                      for (int id : {1150, 1109, 1110, 1111}) {
                        SCOPED_TRACE(id);
                        EXPECT_TRUE(page.FindControl(id)->IsVisible());
                        EXPECT_EQ(page.FindControl(id)->IsEnabled(), id == 1109);
                        EXPECT_EQ(page.Ctl<ui::CheckBox>(id).Check(), id == 1109 ? 1 : 0);
                      }
                    })},
                    ui::kIdCancel),
            ui::kIdCancel);
  WriteSettingDword("Vad_InstallResult", 0x7F);  // every family, no integration
  OptPipecast hidden;
  EXPECT_EQ(RunPage(hidden, {UiAction::Call([&] {
                      for (int id : {1150, 1109, 1110, 1111, 1155, 1156}) EXPECT_FALSE(hidden.FindControl(id)->IsVisible());
                    })},
                    ui::kIdCancel),
            ui::kIdCancel);
}

TEST_F(PipecastPage, PlaylistProgramIsChosenAmongTheDesktopsAndTheRegisteredOnes) {
  test::PlayerFixture desktop;
  desktop.Program("mpv");
  desktop.Entry("mpv.desktop", "Name=mpv Media Player\nExec=mpv %U\nMimeType=audio/x-mpegurl;\n");
  desktop.DefaultForPlaylists("mpv.desktop");
  platform::RegisterInstalledPlayers();
  // A machine-wide registration whose program is gone is not offered.
  Registry& r = Registry::Instance();
  const std::string gone = "Software\\Classes\\Applications\\gone.exe\\shell\\open\\command";
  ASSERT_TRUE(r.CreateKey(Hive::LocalMachine, gone));
  ASSERT_TRUE(r.Write(Hive::LocalMachine, gone, "", RegistryValue::String("\"/nowhere/gone.exe\" \"%1\"")));

  OptPipecast page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] {
                      std::vector<std::string> items = Items(page);
                      ASSERT_FALSE(items.empty());
                      EXPECT_EQ(items[0], "None Selected");
                      EXPECT_EQ(page.Ctl<ui::ComboBox>(1230).CurSel(), 0) << "nothing chosen yet";
                      for (const char* want : {"* Default: mpv Media Player", "mpv Media Player"})
                        EXPECT_NE(std::find(items.begin(), items.end(), want), items.end()) << want;
                      for (const std::string& item : items) EXPECT_EQ(item.find("gone"), std::string::npos);
                    }),
                    UiAction::Set(1230, "mpv Media Player")}),
            ui::kIdOk);
  EXPECT_EQ(Chosen(), "mpv") << "the program's key name, not its path";

  // Reopened, the choice is selected; "None Selected" removes it.
  OptPipecast again;
  EXPECT_EQ(RunPage(again, {UiAction::Call([&] {
                      auto& combo = again.Ctl<ui::ComboBox>(1230);
                      EXPECT_EQ(combo.ItemText(combo.CurSel()), "mpv Media Player");
                    }),
                    UiAction::Set(1230, "None Selected")}),
            ui::kIdOk);
  EXPECT_EQ(Chosen(), "<none>");

  // Registering a program: listed by its file name, then refused a second time.
  const std::string program = desktop.Program("tinyplay.exe");
  size_t messages = ui_->Messages().size();
  OptPipecast reg;
  EXPECT_EQ(RunPage(reg, {UiAction::Press(1128), UiAction::PickFile(program), UiAction::Answer(ui::kIdOk),
                          UiAction::Call([&] {
                            std::vector<std::string> items = Items(reg);
                            EXPECT_NE(std::find(items.begin(), items.end(), "tinyplay.exe"), items.end());
                          }),
                          UiAction::Press(1128), UiAction::PickFile(program), UiAction::Answer(ui::kIdOk),
                          UiAction::Set(1230, "tinyplay.exe")}),
            ui::kIdOk);
  ASSERT_EQ(ui_->Messages().size(), messages + 2);
  EXPECT_EQ(ui_->Messages()[messages].text, "The selected application has been registered and added to the list.");
  EXPECT_EQ(ui_->Messages()[messages + 1].text, "The selected application is already registered.");
  auto command = r.Read(Hive::CurrentUser, "Software\\Classes\\Applications\\tinyplay.exe\\shell\\open\\command", "");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->data, "\"" + program + "\" \"%1\"");
  EXPECT_EQ(Chosen(), "tinyplay.exe");
  EXPECT_EQ(platform::UserChosenApplication(".m3u"), "tinyplay.exe") << "what the context menu's player reads";
  r.DeleteKey(Hive::LocalMachine, "Software\\Classes\\Applications\\gone.exe");
}

TEST_F(PipecastPage, CompensationIsClampedAndTheExternalPlayerModeStored) {
  WriteSettingDword("Pip_Compensation", 35);
  OptPipecast page;
  EXPECT_EQ(RunPage(page, {UiAction::Call([&] { EXPECT_EQ(page.Ctl<ui::Slider>(1069).Pos(), 20); }),
                           UiAction::Set(1069, "7")}),
            ui::kIdOk);
  EXPECT_EQ(SettingDword("Pip_Compensation", 99), 7u);
  EXPECT_EQ(SettingDword("Pip_ExternalPlayer", 0), 1068u);
}

}  // namespace
}  // namespace hub
