// The device manager as a real process: start-up decisions, the request
// block, the tray, closing and the immediate exit, driven from outside as a
// person (hubplat) and a client (kdpcall) would.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/shared_object.h"
#include "platform/paths.h"
#include "platform/window/window.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;

constexpr int kWaitMs = 15000;

// A port nobody listens on right now (the kernel's choice, released again).
// A port nothing listens on, below the range the system hands out for
// outgoing connections: a client socket of a test running beside this one
// cannot take it between this check and the manager's bind.
uint32_t FreePort() {
  static std::mt19937 pick(std::random_device{}());
  for (int tries = 0; tries < 1000; ++tries) {
    const uint16_t port = static_cast<uint16_t>(20000 + pick() % 12000);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) continue;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (free) return port;
  }
  ADD_FAILURE() << "no free port between 20000 and 31999";
  return 0;
}

struct Output {
  int status = -1;
  std::string text;
};

// Runs a helper program to its end (bounded by `timeout`), stdout and stderr together.
Output RunTool(const std::string& command) {
  Output out;
  FILE* p = ::popen(("timeout 30 " + command + " </dev/null 2>&1").c_str(), "r");
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.text.append(buf, n);
  int raw = ::pclose(p);
  out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

Output Kdpcall(const std::string& args) { return RunTool(std::string(KDPCALL_PATH) + " --product irivmgr " + args); }
Output Hubplat(const std::string& args) { return RunTool(std::string(HUBPLAT_PATH) + " " + args); }

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    // The manager prints its boxes and answers none; tests of the process after this one see the process's own values again.
    env_.emplace_back("HUB_UI_DRIVER", "terminal");
    env_.emplace_back("HUB_UI_WAIT_MS", "0");
    player_ = test::MakeTempDir("player");
    env_.emplace_back("HUB_FOLDER_PLAYERS", player_ + "|H300|48300001");
    port_ = FreePort();
    WriteSettingDword("KW_PortT", port_);
    WriteSettingDword("Vad_InstallResult", 0x80040000u);
  }

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv{std::string(HUBWARDEN_DIR) + "/irivmgr"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv);
  }

  // Reads lines until one holds `text`; everything read is kept in `seen_`.
  bool WaitForLine(ChildProcess& child, const std::string& text, int timeoutMs = kWaitMs) {
    const uint64_t end = platform::TickCount64() + timeoutMs;
    for (;;) {
      const uint64_t now = platform::TickCount64();
      if (now >= end) return false;
      auto line = child.ReadLine(static_cast<int>(end - now));
      if (!line) return false;
      seen_ += *line + "\n";
      if (line->find(text) != std::string::npos) return true;
    }
  }

  // The manager's window exists (its start-up is done).
  bool WaitForWindow() {
    const uint64_t end = platform::TickCount64() + kWaitMs;
    while (platform::TickCount64() < end) {
      if (platform::FindWindowByClass(TheProductProfile().windowClassName)) return true;
      platform::SleepMs(10);
    }
    return false;
  }

  static int ExitCode(std::optional<int> status) { return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1; }

  std::list<test::ScopedEnv> env_;
  std::string player_;
  uint32_t port_ = 0;
  std::string seen_;
};

TEST_F(ManagerTest, WithoutDeviceSupportShowsError629AndEnds) {
  WriteSettingDword("Vad_InstallResult", 0);
  // The check comes before the skin registration.
  for (std::vector<std::string> args : {std::vector<std::string>{}, std::vector<std::string>{"-s", "x.tsk"}}) {
    auto manager = Start(args);
    EXPECT_TRUE(WaitForLine(*manager, "error code 629")) << seen_;
    EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);
    EXPECT_EQ(platform::FindWindowByClass(TheProductProfile().windowClassName), 0u);
  }
  EXPECT_NE(seen_.find("Tarveld Manager could not start.  No device support options were detected."),
            std::string::npos);
}

TEST_F(ManagerTest, SkinRegistrationCopiesTheFileOrSaysWhy) {
  const std::string appData = test::MakeTempDir("appdata");
  const std::string source = test::MakeTempDir("skins") + "/my skin.TSK";
  std::ofstream(source) << "skin bytes";
  const std::string wrong = fs::path(source).replace_extension(".zip").string();
  std::ofstream(wrong) << "zip";
  struct Case {
    std::string appData, commandLine, expected;
  } cases[] = {
      {appData, "-s  \"" + source + "\" ", "Glimmet Skin \"my skin.tsk\" has been registered."},
      {appData, "-s" + wrong, "does not appear to be a valid " + TheProductProfile().webServerName + " Skin file."},
      {"", "-s " + source, "could not be registered"},
      {appData, "-s /nowhere/gone.tsk", "could not be registered"},
  };
  for (const Case& c : cases) {
    WriteSettingString("Gen_AppDataDir", c.appData);
    auto manager = Start({c.commandLine});
    EXPECT_TRUE(WaitForLine(*manager, c.expected)) << c.commandLine << "\n" << seen_;
    EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);
  }
  std::ifstream copied(appData + "/skins/my skin.tsk");
  std::string content;
  std::getline(copied, content);
  EXPECT_EQ(content, "skin bytes");
}

TEST_F(ManagerTest, SecondCopyBringsTheFirstForwardAndEnds) {
  WriteSettingDword("Vad_InstallResult", 0x80000000u);
  auto first = Start();
  ASSERT_TRUE(WaitForWindow());
  auto second = Start();
  EXPECT_EQ(ExitCode(second->Wait(kWaitMs)), 0);
  EXPECT_TRUE(WaitForLine(*first, "Tarveld Manager is already running.")) << seen_;
  // Still the one manager.
  EXPECT_NE(Kdpcall("IsConnected").text.find("R 0"), std::string::npos);
}

TEST_F(ManagerTest, WithoutDriverBitRequestsAreAcknowledgedWithoutEffect) {
  WriteSettingDword("Vad_InstallResult", 1u << 18);
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  Output connect = Kdpcall("Connect 0");
  EXPECT_EQ(connect.status, 0) << connect.text;
  Output connected = Kdpcall("IsConnected");
  EXPECT_NE(connected.text.find("R 0"), std::string::npos) << connected.text;
  Output tray = Hubplat("tray --pid " + std::to_string(manager->pid()));
  EXPECT_EQ(tray.text.find("icon 0x80040000"), std::string::npos) << tray.text;
  // No web server: nothing listens on the port.
  EXPECT_NE(RunTool("curl -sS -o /dev/null http://127.0.0.1:" + std::to_string(port_) + "/").status, 0);
  manager->Kill();
  EXPECT_EQ(seen_.find("web server"), std::string::npos);
}

TEST_F(ManagerTest, TrayDisconnectSkipsExactlyOneClientConnect) {
  auto manager = Start();
  ASSERT_TRUE(WaitForLine(*manager, "web server listening on http://127.0.0.1:" + std::to_string(port_) + "/"));
  ASSERT_EQ(Kdpcall("Connect 0").status, 0);
  ASSERT_NE(Kdpcall("IsConnected").text.find("R 1"), std::string::npos);
  const std::string pid = std::to_string(manager->pid());
  Output tray = Hubplat("tray --pid " + pid);
  EXPECT_NE(tray.text.find("tip \"Tarveld Manager - iRiver\""), std::string::npos) << tray.text;
  ASSERT_EQ(Hubplat("tray --pid " + pid + " right 502").status, 0);
  // The menu command is posted; a request after it sees it done.
  const uint64_t end = platform::TickCount64() + kWaitMs;
  while (Kdpcall("IsConnected").text.find("R 0") == std::string::npos && platform::TickCount64() < end)
    platform::SleepMs(20);
  ASSERT_NE(Kdpcall("IsConnected").text.find("R 0"), std::string::npos);
  Kdpcall("Connect 0");  // answered without running
  EXPECT_NE(Kdpcall("IsConnected").text.find("R 0"), std::string::npos);
  Kdpcall("Connect 0");
  EXPECT_NE(Kdpcall("IsConnected").text.find("R 1"), std::string::npos);
}

TEST_F(ManagerTest, ImmediateExitWaitsForTheRunningSaveAndEndsWithCode1) {
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  Kdpcall("Connect 0");
  Kdpcall("SetOwnerName \"Road Warrior\"");
  Kdpcall("SaveDatabase");  // queued for the background saver
  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x4C8").status, 0);
  EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 1);
  // The database on the player is whole and holds the change.
  Output dump = RunTool(std::string(SBXDUMP_PATH) + " " + Quote(player_ + "/Tarveld.sbx"));
  EXPECT_EQ(dump.status, 0) << dump.text;
  EXPECT_NE(dump.text.find("Road Warrior"), std::string::npos) << dump.text;
}

TEST_F(ManagerTest, CloseAsksUnlessDisabledAndLeavesNoNamesBehind) {
  ::setenv("HUB_UI_WAIT_MS", "-1", 1);  // questions wait for hubplat
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x10").status, 0);
  ASSERT_TRUE(WaitForLine(*manager, "We recommend that you do not close Tarveld Manager."));
  const std::string pid = std::to_string(manager->pid());
  ASSERT_EQ(Hubplat("answer --pid " + pid + " no").status, 0);
  EXPECT_NE(Kdpcall("IsConnected").text.find("R 0"), std::string::npos);  // still serving

  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x10").status, 0);
  ASSERT_TRUE(WaitForLine(*manager, "Do you still want to close Tarveld Manager?"));
  ASSERT_EQ(Hubplat("answer --pid " + pid + " yes").status, 0);
  EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);

  // Without the question when disabled.
  WriteSettingDword("Gen_DisableKestMgrCloseConfirm", 1);
  seen_.clear();
  manager = Start();
  ASSERT_TRUE(WaitForWindow());
  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x10").status, 0);
  EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);
  while (manager->ReadLine(100)) {
  }
  const ProductProfile& p = TheProductProfile();
  for (const std::string& name :
       {p.mappingName, p.preSemaphoreName, p.completionSemaphoreName, p.extensionSemaphoreName})
    EXPECT_FALSE(fs::exists("/dev/shm" + platform::KernelObjectName(name))) << name;
}

TEST_F(ManagerTest, InterruptClosesWithoutTheQuestionWhenNotOnATerminal) {
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  Kdpcall("IsConnected");  // answered: start-up is over and the loop runs
  ::kill(manager->pid(), SIGINT);
  EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);
}

TEST_F(ManagerTest, PlayAllTracksWritesTheStreamPlaylistAndStartsIt) {
  fs::create_directories(player_ + "/Band");
  std::ofstream(player_ + "/Band/01 Song.mp3", std::ios::binary) << std::string(3000, 's');
  std::ofstream(player_ + "/Tarveld.iDB") << "";
  WriteSettingDword("KW_PortT", 0);  // the playlist names the default port; the server may find it taken
  // Programs other tests of this process started are in the log already.
  const size_t before = ReadShellRequests().size();
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  Kdpcall("Connect 0");
  const std::string pid = std::to_string(manager->pid());
  // The command has no menu entry: the icon is clicked (the menu dismissed),
  // then the command is posted as another program would.
  ASSERT_EQ(Hubplat("tray --pid " + pid + " right 0").status, 0);
  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x111 523 0").status, 0);
  const uint64_t end = platform::TickCount64() + kWaitMs;
  std::vector<std::string> requests;
  while ((requests = ReadShellRequests()).size() <= before && platform::TickCount64() < end) platform::SleepMs(20);
  ASSERT_GT(requests.size(), before) << "no program started";
  const std::string line = requests[before];
  ASSERT_NE(line.find("/pipecast/"), std::string::npos) << line;
  const std::string file = line.substr(line.find('\t') + 1, line.rfind('\t') - line.find('\t') - 1);
  std::ifstream m3u(file, std::ios::binary);
  std::stringstream content;
  content << m3u.rdbuf();
  const std::string text = content.str();
  EXPECT_EQ(text.rfind("#EXTM3U\r\n#EXTINF:", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nhttp://127.0.0.1:8049/stream/"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

// A file already on the player is found by the first connect (the family's
// rebuild marker) and streams byte for byte from the manager's web server.
TEST_F(ManagerTest, TrackOnThePlayerStreamsFromTheWebServer) {
  fs::create_directories(player_ + "/Band");
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  std::ofstream(player_ + "/Band/01 Song.mp3", std::ios::binary) << bytes;
  std::ofstream(player_ + "/Tarveld.iDB") << "";
  auto manager = Start();
  // The window can be up before the web server listens.
  ASSERT_TRUE(WaitForLine(*manager, "web server listening on http://127.0.0.1:" + std::to_string(port_) + "/"))
      << seen_;
  ASSERT_TRUE(WaitForWindow());
  ASSERT_EQ(Kdpcall("Connect 0").status, 0);
  Output first = Kdpcall("GetFirstTrack");
  const size_t at = first.text.find("id ");
  ASSERT_NE(at, std::string::npos) << first.text;
  const std::string id = first.text.substr(at + 3, first.text.find(',', at) - at - 3);
  const std::string out = test::MakeTempDir("download") + "/track.mp3";
  Output curl = RunTool("curl -sS -f -o " + Quote(out) + " http://127.0.0.1:" + std::to_string(port_) + "/stream/" + id +
                        "/01%20Song.mp3");
  ASSERT_EQ(curl.status, 0) << curl.text;
  std::ifstream in(out, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_TRUE(got.str() == bytes) << got.str().size();
}

// The shell's whole path through the real manager: attach, connect, list the
// tracks, add a track file, make a playlist of it, save, and read it back both
// through the client and from the player's database file.
TEST_F(ManagerTest, ClientAddsATrackAndAPlaylistThatAreSavedOnThePlayer) {
  fs::create_directories(player_ + "/Band");
  std::ofstream(player_ + "/Band/01 Old.mp3", std::ios::binary) << std::string(4000, 'o');
  std::ofstream(player_ + "/Tarveld.iDB") << "";
  const std::string source = test::MakeTempDir("pc") + "/new.mp3";
  std::ofstream(source, std::ios::binary) << std::string(5000, 'n');
  WriteSettingDword("Gen_DisableKestMgrCloseConfirm", 1);
  auto manager = Start();
  ASSERT_TRUE(WaitForWindow());
  ASSERT_EQ(Kdpcall("Connect 0").status, 0);
  EXPECT_NE(Kdpcall("GetFirstTrack").text.find("id "), std::string::npos);

  auto idOf = [](const Output& o) {
    size_t at = o.text.find("id ");
    return at == std::string::npos ? std::string() : o.text.substr(at + 3, o.text.find(',', at) - at - 3);
  };
  Output added = Kdpcall("AddTrackFile " + Quote(source) + " 'artist=New Band;album=Fresh;title=Hello;track=2'");
  const std::string track = idOf(added);
  ASSERT_FALSE(track.empty()) << added.text;
  const std::string playlist = idOf(Kdpcall("CreatePlaylist 'Road Trip'"));
  ASSERT_FALSE(playlist.empty());
  Kdpcall("ClearIdBatch");
  Kdpcall("AddToIdBatch " + track);
  Kdpcall("AddBatchToPlaylist " + playlist);
  EXPECT_EQ(Kdpcall("SaveDatabase").status, 0);

  EXPECT_NE(Kdpcall("GetPlaylistName " + playlist).text.find("T Road Trip"), std::string::npos);
  EXPECT_EQ(idOf(Kdpcall("GetFirstPlaylistItem " + playlist)), track);
  Output path = Kdpcall("GetTrackFilePath " + track);
  EXPECT_NE(path.text.find(".mp3"), std::string::npos) << path.text;

  ASSERT_EQ(Hubplat("post KDPWNC_TV 0x10").status, 0);
  EXPECT_EQ(ExitCode(manager->Wait(kWaitMs)), 0);
  Output dump = RunTool(std::string(SBXDUMP_PATH) + " " + Quote(player_ + "/Tarveld.sbx"));
  EXPECT_NE(dump.text.find("playlist " + playlist + "  items 1: " + track), std::string::npos) << dump.text;
  EXPECT_NE(dump.text.find("name: \"Road Trip\""), std::string::npos);
  EXPECT_NE(dump.text.find("tracks: 2"), std::string::npos);
}

TEST_F(ManagerTest, DefaultPortWhenNoneIsStored) {
  WriteSettingDword("KW_PortT", 0);
  auto manager = Start();
  // 8049 may be taken on this machine; either way the manager chose it.
  ASSERT_TRUE(WaitForLine(*manager, "8049")) << seen_;
}

// A refused private folder ends each program with its reason in one line and
// status 1: no abort, no core file, nothing started.
TEST(ProgramStartTest, ARefusedRuntimeFolderEndsWithItsReason) {
  const std::string open = test::MakeTempDir("open-runtime");
  fs::permissions(open, fs::perms::all);
  for (const std::string& program : {std::string(HUBWARDEN_DIR) + "/irivmgr", std::string(KDPCALL_PATH) + " IsConnected",
                                     std::string(HUBPLAT_PATH) + " list"}) {
    Output out = RunTool("env HUB_RUNTIME_DIR=" + Quote(open) + " " + program);
    EXPECT_EQ(out.status, 1) << program << ": " << out.text;
    EXPECT_NE(out.text.find(": The folder " + open + " cannot be used: other users may use it (mode 0777).\n"),
              std::string::npos)
        << out.text;
    EXPECT_EQ(out.text.find("terminate"), std::string::npos) << out.text;
  }
}

}  // namespace
}  // namespace hub
