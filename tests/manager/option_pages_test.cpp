// The manager's option pages and dialogs, run headless under the scripted driver.
#include "manager/options/option_pages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "manager/options/device_dialogs.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "platform/ui/screen.h"
#include "support/hermetic_env.h"
#include "testdevice/null_device.h"
#include "webserver/skins.h"

namespace hub {
namespace {

using namespace platform::ui;
using platform::Hive;
using platform::Registry;

class FakeServer : public WebServerControl {
 public:
  bool startResult = true;
  std::vector<std::string> calls;
  bool Start(int port) override {
    calls.push_back("start " + std::to_string(port));
    return startResult;
  }
  void Stop() override { calls.push_back("stop"); }
  std::vector<std::string> SkinNames() override { return ListSkins(SkinsFolder()); }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class OptionsTest : public ::testing::Test {
 protected:
  ScopedUiDriver<> ui;  // first: the pages below are gone before it is
  void SetUp() override {
    SelectProduct("irivmgr.exe", TheProductProfile());
    key = TheProductProfile().productRegistryKey;
    Registry::Instance().DeleteKey(Hive::CurrentUser, key);
    test::InstallProductKey(key);
    appData = test::MakeTempDir("appdata");
    install = test::MakeTempDir("install");
    WriteSettingString("Gen_AppDataDir", appData);
    WriteSettingString("", install);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
  }
  std::optional<uint32_t> Dword(const std::string& name) {
    auto v = Registry::Instance().Read(Hive::CurrentUser, key, name);
    uint32_t d;
    if (v && v->GetDword(d)) return d;
    return std::nullopt;
  }
  std::string AuthFile() { return appData + "/httpauth.txt"; }
  int RunWebPage(std::initializer_list<UiAction> script) {
    driver->Push(UiAction::SelectPage("Glimmet HTTP Options"));
    driver->Push(script);
    return ShowManagerOptions(&server, &device);
  }

  std::string key, appData, install;
  FakeServer server;
  test::NullDevice device;
  ScriptedUiDriver* driver = ui.get();
};

using K = KestwebOptionsDlg;

TEST_F(OptionsTest, PortAndAccountAreWrittenOnOk) {
  EXPECT_EQ(RunWebPage({UiAction::Set(K::kPort, "8051"), UiAction::Press(K::kAdd), UiAction::Set(1036, "user"),
                        UiAction::Set(1037, "pa:ss"), UiAction::Press(kIdOk), UiAction::Press(kIdOk)}),
            kIdOk);
  EXPECT_EQ(Dword("KW_PortT"), 8051u);
  // As a person would check it.
  FILE* p = ::popen((std::string(HUBREG_PATH) + " get '" + key + "' KW_PortT").c_str(), "r");
  char buf[64] = {};
  EXPECT_NE(std::fgets(buf, sizeof buf, p), nullptr);
  EXPECT_EQ(::pclose(p), 0);
  EXPECT_STREQ(buf, "8051\n");
  EXPECT_EQ(ReadFile(AuthFile()), "user:pass\n");  // the ":" typed in the password is removed
  EXPECT_EQ(server.calls, (std::vector<std::string>{"stop", "start 8051"}));
  EXPECT_EQ(Dword("Gen_Tx_EnableContextMenu"), 1u);  // the general page was shown, so saved
  EXPECT_EQ(driver->Pending(), 0u);
}

TEST_F(OptionsTest, CancelWritesNothingEvenAfterVisitingPages) {
  EXPECT_EQ(RunWebPage({UiAction::Set(K::kPort, "8051"), UiAction::Press(K::kAdd), UiAction::Set(1036, "u"),
                        UiAction::Set(1037, "p"), UiAction::Press(kIdOk), UiAction::SelectPage("General"),
                        UiAction::Press(1014), UiAction::SelectPage("About"), UiAction::Press(kIdCancel)}),
            kIdCancel);
  EXPECT_EQ(Dword("KW_PortT"), std::nullopt);
  EXPECT_EQ(Dword("Gen_DisableKestMgrCloseConfirm"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(AuthFile()));
  EXPECT_TRUE(server.calls.empty());
}

TEST_F(OptionsTest, InvalidPortIsRefusedAndThePageStays) {
  EXPECT_EQ(RunWebPage({UiAction::Set(K::kPort, "70000"), UiAction::Press(kIdOk), UiAction::Answer(kIdOk),
                        UiAction::Set(K::kPort, "0"), UiAction::SelectPage("General"), UiAction::Answer(kIdOk),
                        UiAction::Press(kIdCancel)}),
            kIdCancel);
  ASSERT_EQ(driver->Messages().size(), 2u);
  EXPECT_EQ(driver->Messages()[0].text, "Please enter an integer between 1 and 65535.");
  EXPECT_EQ(Dword("KW_PortT"), std::nullopt);
}

TEST_F(OptionsTest, FailedAccountWriteIsReportedAndChangesNothing) {
  std::filesystem::create_directory(AuthFile());  // a folder where the file belongs: the rename fails
  EXPECT_EQ(RunWebPage({UiAction::Set(K::kPort, "8051"), UiAction::Press(kIdOk), UiAction::Answer(kIdOk),
                        UiAction::Press(kIdCancel)}),
            kIdCancel);
  ASSERT_EQ(driver->Messages().size(), 1u);
  EXPECT_NE(driver->Messages()[0].text.find("Could not save the usernames and passwords"), std::string::npos);
  EXPECT_EQ(Dword("KW_PortT"), std::nullopt);
  EXPECT_TRUE(server.calls.empty());
}

TEST_F(OptionsTest, ServerRestartFailureAndDisable) {
  server.startResult = false;
  RunWebPage({UiAction::Press(kIdOk), UiAction::Answer(kIdOk)});
  ASSERT_EQ(driver->Messages().size(), 1u);
  EXPECT_EQ(driver->Messages()[0].text, "Could not start Glimmet HTTP server.  Port was already occupied.");
  EXPECT_EQ(server.calls.back(), "start 8049");
  server.calls.clear();
  RunWebPage({UiAction::Press(K::kDisable), UiAction::Press(kIdOk)});
  EXPECT_EQ(server.calls, std::vector<std::string>{"stop"});
  EXPECT_EQ(Dword("KW_Disable"), 1u);
}

TEST_F(OptionsTest, AccountEditorRefusesBlankAndHashAndEditsInPlace) {
  std::ofstream(AuthFile()) << "  bob:secret   # the first\n# comment only\nnocolon\nann:x:y\n";
  RunWebPage({
      UiAction::Press(K::kAdd), UiAction::Set(1036, ":"), UiAction::Set(1037, "p"), UiAction::Press(kIdOk),
      UiAction::Answer(kIdOk),  // blank once the ":" is gone
      UiAction::Press(K::kAdd), UiAction::Set(1036, "a#b"), UiAction::Set(1037, "p"), UiAction::Press(kIdOk),
      UiAction::Answer(kIdOk),                                        // "#" would start a comment
      UiAction::Set(K::kAccounts, "1"), UiAction::Press(K::kEdit), UiAction::Set(1037, ""), UiAction::Press(kIdOk),
      UiAction::Answer(kIdOk),  // Edit refuses a blank password too
      UiAction::Press(K::kEdit), UiAction::Set(1036, "anne"), UiAction::Press(kIdOk),
      UiAction::Press(K::kAdd), UiAction::Set(1036, "zed"), UiAction::Set(1037, "z"), UiAction::Press(kIdOk),
      UiAction::Press(kIdOk),
  });
  ASSERT_EQ(driver->Messages().size(), 3u);
  EXPECT_EQ(driver->Messages()[0].text, "Username and password cannot be blank.");
  EXPECT_EQ(driver->Messages()[1].text, "Username and password cannot contain \"#\".");
  EXPECT_EQ(driver->Messages()[2].text, "Username and password cannot be blank.");
  EXPECT_EQ(ReadFile(AuthFile()), "zed:z\nbob:secret\nanne:xy\n");

  RunWebPage({UiAction::Set(K::kAccounts, "0,2"), UiAction::Press(K::kDelete), UiAction::Press(kIdOk)});
  EXPECT_EQ(ReadFile(AuthFile()), "bob:secret\n");
}

TEST_F(OptionsTest, SkinListTakesFoldersAndSkinFilesOfBothExtensions) {
  std::string skins = appData + "/skins";
  std::filesystem::create_directories(skins + "/Blue");
  for (const char* f : {"/a.KSK", "/b.tsk", "/c.txt"}) std::ofstream(skins + f) << "x";
  RunWebPage({UiAction::Press(kIdOk)});
  EXPECT_EQ(SettingString("KW_Skin", ""), "Blue");  // "Default" is not there: the first entry
  RunWebPage({UiAction::Set(K::kSkin, "b.tsk"), UiAction::Press(kIdOk)});
  EXPECT_EQ(SettingString("KW_Skin", ""), "b.tsk");
  EXPECT_THROW(RunWebPage({UiAction::Set(K::kSkin, "c.txt")}), UiScriptError);
}

TEST_F(OptionsTest, AccountFileButtonLogButtonsAndMissingFolder) {
  std::ofstream(install + "/httplog.html") << "old lines";
  size_t before = ReadShellRequests().size();  // the log is the process's
  RunWebPage({UiAction::Press(K::kEditFile), UiAction::Press(K::kViewLog), UiAction::Press(K::kClearLog),
              UiAction::Answer(kIdOk), UiAction::Press(kIdCancel)});
  EXPECT_EQ(ReadFile(AuthFile()),
            "# One user entry per line in this format: username:password\n"
            "# Hash indicates rest of line is a comment.\n");
  auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_EQ(requests[before], "open\t" + AuthFile() + "\t");
  EXPECT_EQ(requests[before + 1], "open\t" + install + "/httplog.html\t");
  EXPECT_EQ(ReadFile(install + "/httplog.html"), "");
  EXPECT_EQ(driver->Messages().back().text, "Log cleared.");

  Registry::Instance().DeleteValue(Hive::CurrentUser, key, "Gen_AppDataDir");
  RunWebPage({UiAction::Press(K::kEditFile), UiAction::Answer(kIdOk), UiAction::Press(kIdCancel)});
  EXPECT_EQ(driver->Messages().back().text, "Could not read install directory from registry.");
}

TEST(AccountFile, ParseTable) {
  struct Case {
    std::string text;
    std::vector<Account> accounts;
  } cases[] = {
      {"  bob:secret   # trailing comment\n", {{"bob", "secret"}}},
      {"# One user entry per line\n# Hash\n", {}},
      {"a:b\r\nc:d", {{"a", "b"}, {"c", "d"}}},
      {"nocolon\n:\nx:y:z\n", {{"", ""}, {"x", "y:z"}}},
      {"pass#word:x\nuser:pa#ss\n", {{"user", "pa"}}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAccounts(c.text), c.accounts) << c.text;
  EXPECT_EQ(FormatAccounts({{"a", "b"}, {"c", "d"}}), "a:b\nc:d\n");
  EXPECT_EQ(ParseAccounts(FormatAccounts({{"a", "b"}, {"c", "d"}})), (std::vector<Account>{{"a", "b"}, {"c", "d"}}));
}

TEST(PortDefault, ByLetter) {
  std::pair<const char*, int> cases[] = {{"X", 8045}, {"W", 8042}, {"1", 8044}, {"P", 8046}, {"H", 8047},
                                         {"V", 8048}, {"T", 8049}, {"L", 8050}, {"Z", 8045}, {"", 8045}};
  for (auto [letter, port] : cases) EXPECT_EQ(DefaultPortForLetter(letter), port) << letter;
}

TEST_F(OptionsTest, StoredPortOutsideTheRangeShowsTheDefault) {
  std::pair<uint32_t, int> cases[] = {{0, 8049}, {0xFFFFFFFFu, 8049}, {70000, 8049}, {65535, 65535}, {8051, 8051}};
  for (auto [stored, shown] : cases) {
    WriteSettingDword("KW_PortT", stored);
    KestwebOptionsDlg page(nullptr, "T");
    EXPECT_EQ(page.port, shown) << stored;
  }
  WriteSettingDword("KW_PortZ", 0);
  EXPECT_EQ(KestwebOptionsDlg(nullptr, "Z").port, 8045);
}

TEST(SystrayProgressPlacement, EachTaskbarEdge) {
  const int w = 200, h = 50;
  struct Case {
    const char* edge;
    Rect bar;
    Point at;
  } cases[] = {
      {"bottom", {0, 738, 1024, 768}, {1024 - 2 - w, 738 - h}},
      {"right", {994, 0, 1024, 768}, {994 - w, 768 - 2 - h}},
      {"left", {0, 0, 30, 768}, {30, 768 - 2 - h}},
      {"top", {0, 0, 1024, 30}, {1024 - 2 - w, 30}},
      {"square", {0, 0, 50, 50}, {0 - w, 50 - 2 - h}},
  };
  for (const auto& c : cases) EXPECT_EQ(SystrayProgressPosition(c.bar, w, h), c.at) << c.edge;
}

TEST_F(OptionsTest, AutoProgressShowsBesideTheBarUnlessDisabled) {
  SetScreen({0, 0, 1024, 768}, {0, 738, 1024, 768});
  DlgSystrayProgress window;
  EXPECT_FALSE(window.IsVisible());
  {
    AutoDlgSystrayProgress progress(&window, "Loading database...", 10);
    EXPECT_TRUE(window.IsVisible());
    EXPECT_TRUE(window.IsTopmost());
    EXPECT_EQ(window.Bounds().right, 1024 - 2);
    EXPECT_EQ(window.Bounds().bottom, 738);
    EXPECT_EQ(window.FindControl(DlgSystrayProgress::kStatus)->Text(), "Loading database...");
    ProgressMonitor& monitor = progress;  // as the database drives it
    monitor.SetPosition(4);
    monitor.Step();
    EXPECT_EQ(window.Bar().Pos(), 5);
    EXPECT_EQ(window.Bar().Max(), 10);
  }
  EXPECT_FALSE(window.IsVisible());

  WriteSettingDword("Gen_DisableSystrayProgress", 1);
  AutoDlgSystrayProgress quiet(&window, "Connecting...", 100);
  quiet.Step();
  EXPECT_FALSE(window.IsVisible());
  AutoDlgSystrayProgress none(nullptr, "Connecting...", 100);
}

class FakeVolume : public test::NullDevice {
 public:
  bool fail = false;
  int volume = 40;
  std::vector<int> sets;
  int saves = 0;
  int GetVolume() override {
    if (fail) throw std::runtime_error("no device");
    return volume;
  }
  int SetVolume(int v) override {
    if (fail) throw std::runtime_error("no device");
    sets.push_back(v);
    return 1;
  }
  void SaveVolumeSetting() override {
    if (fail) throw std::runtime_error("no device");
    ++saves;
  }
};

TEST_F(OptionsTest, VolumeDialogFollowsTheSliderAndDropsDeviceFailures) {
  FakeVolume volume;
  VolumeDialog dlg(&volume, 0);
  driver->Push({UiAction::Set(VolumeDialog::kSlider, "75"), UiAction::Press(VolumeDialog::kAdvanced),
                UiAction::Set(VolumeDialog::kSlider, "150"), UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  ASSERT_FALSE(volume.sets.empty());
  EXPECT_EQ(volume.sets.front(), 75);
  EXPECT_EQ(volume.sets.back(), 100);  // the slider's range ends at 100
  EXPECT_EQ(volume.saves, 1);

  volume.fail = true;
  VolumeDialog failing(&volume, 0);
  driver->Push({UiAction::Set(VolumeDialog::kSlider, "10"), UiAction::Press(VolumeDialog::kAdvanced),
                UiAction::Press(kIdOk)});
  EXPECT_EQ(failing.DoModal(), kIdOk);
}

TEST_F(OptionsTest, AboutPageShowsVersionAndDropsDriverFailure) {
  struct GoneDevice : test::NullDevice {
    int asked = 0;
    void GetDriverName() override {
      ++asked;
      throw std::runtime_error("gone");
    }
  } gone;
  CManagerOptionAbout about(&gone);
  platform::ui::PropertySheet sheet("About");
  sheet.AddPage(&about);
  driver->Push({UiAction::Press(1072), UiAction::Press(kIdOk)});
  EXPECT_EQ(sheet.DoModal(), kIdOk);
  EXPECT_EQ(gone.asked, 1);
  COptionGeneral general;
  EXPECT_EQ(general.enableContextMenu, 1);
}

}  // namespace
}  // namespace hub
