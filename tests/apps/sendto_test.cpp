// The send-to launcher as a user or the namespace's paste starts it: a program
// beside the shell library, without a terminal, its output read line by line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/file_lock.h"
#include "platform/window/window.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;

const std::string kLauncher = std::string(HUBSHELL_DIR) + "/hubshellih.exe";

struct LauncherRun {
  std::vector<std::string> lines;
  int code = -1;
  double seconds = 0;
  bool Mentions(const std::string& text) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::string Output() const {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
  }
};

// The launcher talks to a person through the terminal driver, as it does when
// a user or the namespace's paste starts it (the tests' own driver is scripted).
class TerminalDriver {
 public:
  TerminalDriver() { ::setenv("HUB_UI_DRIVER", "terminal", 1); }
  ~TerminalDriver() { ::setenv("HUB_UI_DRIVER", "scripted", 1); }
};

LauncherRun RunLauncher(const std::vector<std::string>& args) {
  TerminalDriver terminal;
  std::vector<std::string> argv = {kLauncher};
  argv.insert(argv.end(), args.begin(), args.end());
  auto start = std::chrono::steady_clock::now();
  test::ChildProcess child(argv);
  LauncherRun run;
  while (auto line = child.ReadLine(60000)) run.lines.push_back(*line);
  auto status = child.Wait(60000);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status && WIFEXITED(*status)) run.code = WEXITSTATUS(*status);
  return run;
}

std::string Song(const std::string& name) {
  std::string dir = test::MakeTempDir("music");
  std::ofstream(dir + "/" + name) << "ID3";
  return dir + "/" + name;
}

TEST(LauncherTest, WithoutAManagerItEndsWithTheNotRunningReport) {
  LauncherRun run = RunLauncher({Song("one.mp3")});
  EXPECT_EQ(run.code, 0) << run.Output();
  EXPECT_TRUE(run.Mentions("You may need to terminate and restart Tarveld Manager (irivmgr.exe).")) << run.Output();
  EXPECT_LT(run.seconds, 60.0);
}

TEST(LauncherTest, ASecondLauncherLeavesTheRunningTransferAlone) {
  // A launcher that is transferring holds the guard; a killed one gives it back.
  test::ChildProcess first([] {
    auto lock = platform::FileLock::Named("STSEM");
    lock.Lock();
    std::printf("transferring\n");
    std::fflush(stdout);
    ::pause();
    return 0;
  });
  ASSERT_EQ(first.ReadLine(10000), std::optional<std::string>("transferring"));
  LauncherRun second = RunLauncher({Song("two.mp3")});
  EXPECT_EQ(second.code, 0);
  EXPECT_TRUE(second.Mentions("Another transfer is already in progress.")) << second.Output();
  first.Kill();
  first.Wait(10000);
  LauncherRun third = RunLauncher({Song("three.mp3")});
  EXPECT_FALSE(third.Mentions("Another transfer is already in progress.")) << third.Output();
  EXPECT_TRUE(third.Mentions("You may need to terminate and restart Tarveld Manager (irivmgr.exe).")) << third.Output();
}

TEST(LauncherTest, ANameHoldingAQuoteOrALineBreakIsRefusedBeforeAnythingRuns) {
  for (const char* name : {"say \"hi\".mp3", "two\nlines.mp3"}) {
    LauncherRun run = RunLauncher({Song("fine.mp3"), name});
    EXPECT_EQ(run.code, 2) << name;
    EXPECT_FALSE(run.Mentions("Tarveld Manager")) << "no transfer was tried for " << name;
  }
}

TEST(LauncherTest, SendsFilesThroughARunningManagerAndEndsCleanly) {
  // Under the sanitizers a leak reported at exit changes the exit code.
  SelectProduct("irivmgr", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  WriteSettingDword("Vad_InstallResult", 0x80040000u);
  WriteSettingDword("KW_Disable", 1);
  WriteSettingDword("Gen_Tx_AutoCloseDialog", 1);
  const std::string player = test::MakeTempDir("player");
  test::ScopedEnv players("HUB_FOLDER_PLAYERS", player + "|H300|48300002");
  test::ScopedEnv wait("HUB_UI_WAIT_MS", std::string("0"));
  const std::string sources = test::MakeTempDir("pc");
  std::vector<std::string> files;
  for (size_t size : {size_t(1), size_t(300000), size_t(70000)}) {
    files.push_back(sources + "/data" + std::to_string(size) + ".bin");
    std::ofstream out(files.back(), std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + size));
  }
  TerminalDriver terminal;
  test::ChildProcess manager({std::string(HUBWARDEN_DIR) + "/irivmgr"});
  const uint64_t end = platform::TickCount64() + 15000;
  while (!platform::FindWindowByClass(TheProductProfile().windowClassName) && platform::TickCount64() < end)
    platform::SleepMs(10);
  ASSERT_NE(platform::FindWindowByClass(TheProductProfile().windowClassName), 0u);

  LauncherRun run = RunLauncher(files);
  EXPECT_EQ(run.code, 0) << run.Output();
  EXPECT_TRUE(run.Mentions("Transfer complete.")) << run.Output();
  for (const std::string& file : files) {
    std::ifstream a(file, std::ios::binary), b(player + "/!DATA/" + fs::path(file).filename().string(), std::ios::binary);
    std::string x((std::istreambuf_iterator<char>(a)), {}), y((std::istreambuf_iterator<char>(b)), {});
    EXPECT_TRUE(!x.empty() && x == y) << file;
  }
  manager.Kill();
  manager.Wait(10000);
}

}  // namespace
}  // namespace hub
