// Message boxes with the product's caption, the shell starters and the pump.
#include "common/shell_routines.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/product_profile.h"
#include "common/ui/progress_dialogs.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "platform/ui/menu.h"
#include "platform/ui/tray.h"
#include "platform/window/window.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using namespace platform::ui;

class ShellRoutinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("kestmgr.exe", TheProductProfile());
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override { SetMessageOwner(0); }
  ScopedUiDriver<> ui;
  ScriptedUiDriver* driver = ui.get();
};

TEST_F(ShellRoutinesTest, MessagesCarryExplorerNameAndLiveOwner) {
  Dialog owner(DialogTemplate{1, "owner", {}});
  owner.Create();
  SetMessageOwner(owner.Handle());
  driver->Push({UiAction::Answer(kIdOk), UiAction::Answer(kIdYes), UiAction::Answer(kIdOk)});
  EXPECT_EQ(ShowTopmostMessage("Hello", kMbOk), kIdOk);
  EXPECT_EQ(ShowMessage("Sure?", kMbYesNo | kMbIconQuestion), kIdYes);
  owner.DestroyWindow();
  ShowMessage("Owner gone", kMbOk);
  const auto& m = driver->Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].caption, TheProductProfile().explorerName);
  EXPECT_TRUE(m[0].Topmost());
  EXPECT_EQ(m[0].owner, m[1].owner);
  EXPECT_FALSE(m[1].Topmost());
  EXPECT_EQ(m[2].owner, 0u);
  EXPECT_EQ(GetMessageOwner(), 0u);
}

TEST_F(ShellRoutinesTest, RunProgramPassesParametersAsTheShellSplitsThem) {
  std::string dir = test::MakeTempDir("run");
  std::string script = dir + "/prog.sh";
  std::string outFile = dir + "/out.txt";
  {
    std::ofstream s(script);
    s << "#!/bin/sh\nprintf '%s|' \"$@\" > " << outFile << ".tmp && mv " << outFile << ".tmp " << outFile << "\n";
  }
  ::chmod(script.c_str(), 0700);
  ASSERT_TRUE(RunProgram(script, "\"a b\" c \"\""));
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.empty() && std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(outFile);
    std::getline(in, got);
    if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(got, "a b|c||");
  EXPECT_FALSE(RunProgram(dir + "/missing", ""));
}

TEST_F(ShellRoutinesTest, WithoutDesktopDocumentsAndAddressesAreRecorded) {
  std::string dir = test::MakeTempDir("doc");
  std::string doc = dir + "/httpauth.txt";
  std::ofstream(doc) << "x";
  size_t before = ReadShellRequests().size();  // the log is the process's
  EXPECT_TRUE(OpenDocument(doc, ""));
  OpenWithShell("http://localhost:8049/");
  EXPECT_FALSE(OpenDocument(dir + "/nothing.txt", ""));
  auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_EQ(requests[before], "open\t" + doc + "\t");
  EXPECT_EQ(requests[before + 1], "open\thttp://localhost:8049/\t");
}

TEST_F(ShellRoutinesTest, APlaylistOpensWithTheUsersChosenApplicationElseAsAnyDocument) {
  std::string dir = test::MakeTempDir("m3u");
  std::string playlist = dir + "/list.M3U", outFile = dir + "/args.txt", script = dir + "/fakeplay";
  std::ofstream(playlist) << "#EXTM3U\r\n";
  size_t before = ReadShellRequests().size();
  EXPECT_TRUE(OpenDocument(playlist, ""));
  ASSERT_EQ(ReadShellRequests().size(), before + 1) << "no choice and no desktop: recorded";

  std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > " << outFile << ".tmp && mv " << outFile << ".tmp "
                        << outFile << "\n";
  ::chmod(script.c_str(), 0700);
  auto& r = platform::Registry::Instance();
  const std::string ext = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.m3u";
  const std::string command = "Software\\Classes\\Applications\\fakeplay\\shell\\open\\command";
  ASSERT_TRUE(r.CreateKey(platform::Hive::CurrentUser, ext));
  ASSERT_TRUE(r.Write(platform::Hive::CurrentUser, ext, "Application", platform::RegistryValue::String("fakeplay")));
  ASSERT_TRUE(r.CreateKey(platform::Hive::CurrentUser, command));
  ASSERT_TRUE(r.Write(platform::Hive::CurrentUser, command, "",
                      platform::RegistryValue::String("\"" + script + "\" --enqueue \"%1\"")));
  EXPECT_TRUE(RunProgram(playlist, ""));
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.empty() && std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(outFile);
    std::getline(in, got);
    if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(got, "--enqueue|" + playlist + "|");
  EXPECT_EQ(ReadShellRequests().size(), before + 1) << "started, not recorded";
}

TEST_F(ShellRoutinesTest, PumpMessagesRunsWaitingWindowMessagesAndLeavesQuit) {
  std::vector<uint32_t> seen;
  platform::ScopedWindowClass pumpTestClass("PumpTestClass", [&](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m >= platform::kWmUser) seen.push_back(m);  // not the creation messages
    return platform::DefaultWindowProc(w, m, wp, lp);
  });
  ASSERT_TRUE(pumpTestClass.ok());
  WindowHandle w = platform::CreateHiddenWindow("PumpTestClass", "pump");
  ASSERT_NE(w, 0u);
  ASSERT_TRUE(platform::PostWindowMessage(w, 0x7ED, 1, 2));
  ASSERT_TRUE(platform::PostWindowMessage(w, 0x7EE, 0, 0));
  platform::PostQuitMessage(3);
  PumpMessages();
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x7ED, 0x7EE}));
  platform::Message msg;
  EXPECT_FALSE(platform::GetWindowMessage(msg));  // the quit is still there for the loop
  EXPECT_EQ(msg.wParam, 3u);
  platform::DestroyWindow(w);
}

TEST_F(ShellRoutinesTest, TrayRightClickReachesARealWindowAndItsMenuCommandComesBack) {
  std::vector<std::pair<uint32_t, int64_t>> seen;
  platform::ScopedWindowClass trayTestClass("TrayTestClass", [&](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
    if (m == 0x65) {
      seen.push_back({m, lp});
      if (lp == kWmRButtonDown) {
        Menu menu;
        menu.AppendItem(501, "Open");
        menu.AppendItem(502, "Exit");
        TrackPopupMenu(menu, kTpmRightButton, w);
      }
    } else if (m == kWmCommand) {
      seen.push_back({m, static_cast<int64_t>(wp)});
    }
    return platform::DefaultWindowProc(w, m, wp, lp);
  });
  ASSERT_TRUE(trayTestClass.ok());
  WindowHandle w = platform::CreateHiddenWindow("TrayTestClass", "tray owner");
  ASSERT_TRUE(TrayAdd({w, 0x80040000u, 0x65, 101, "tip"}));
  ASSERT_TRUE(TrayClickIcon(0x80040000u, TrayClick::Right, 502));
  PumpMessages();
  PumpMessages();
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, int64_t>>{{0x65, kWmRButtonDown}, {0x65, kWmRButtonUp}, {kWmCommand, 502}}));
  TrayDelete(w, 0x80040000u);
  platform::DestroyWindow(w);
  EXPECT_FALSE(TrayClickIcon(0x80040000u, TrayClick::LeftDouble));
}

TEST(SplitParameters, Table) {
  struct Case {
    std::string text;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"  a   b ", {"a", "b"}},
      {"\"C:\\Program Files\\x\" /e", {"C:\\Program Files\\x", "/e"}},
      {"\"\"", {""}},
      {"a\"b c\"d", {"ab cd"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitParameters(c.text), c.args) << c.text;
}

TEST_F(ShellRoutinesTest, DeleteDialogProgressAndEnd) {
  CDeleteDialog dlg;
  dlg.Begin("Deleting files...", 0);
  ASSERT_NE(dlg.Bar(), nullptr);
  EXPECT_TRUE(dlg.IsVisible());
  EXPECT_TRUE(dlg.IsTopmost());
  EXPECT_EQ(dlg.Caption(), "Deleting files...");
  EXPECT_EQ(dlg.Bar()->Max(), 0);
  EXPECT_EQ(dlg.Bar()->Pos(), 0);  // an empty bar
  dlg.End();
  dlg.Begin("Deleting tracks...", 3);
  EXPECT_EQ(dlg.FindControl(CDeleteDialog::kStatus)->Text(), "Preparing to delete...");
  dlg.SetStatus("a.mp3");
  dlg.Step();
  dlg.Step();
  EXPECT_EQ(dlg.Bar()->Pos(), 2);
  EXPECT_EQ(dlg.Bar()->Step(), 1);
  EXPECT_EQ(dlg.FindControl(CDeleteDialog::kStatus)->Text(), "a.mp3");
  dlg.End();
  EXPECT_FALSE(dlg.Exists());
}

TEST_F(ShellRoutinesTest, NameDialogCancelKeepsPresetOkReturnsTyped) {
  CNameDlg dlg;
  dlg.name = "type name here";
  driver->Push({UiAction::Set(CNameDlg::kNameEdit, "Road trip"), UiAction::Press(kIdCancel)});
  EXPECT_EQ(dlg.DoModal(), kIdCancel);
  EXPECT_EQ(dlg.name, "type name here");
  driver->Push({UiAction::Set(CNameDlg::kNameEdit, "Road trip"), UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_EQ(dlg.name, "Road trip");
  EXPECT_EQ(dlg.Caption(), "Please provide a name.");
}

}  // namespace
}  // namespace hub
