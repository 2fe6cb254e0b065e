// The context menu as a person drives it: the real manager on a folder
// player, nshost's menu verbs from a script, and the player's database read
// back through the request block.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/clock.h"
#include "platform/window/window.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
constexpr int kWaitMs = 30000;

uint32_t FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// Runs a program to its end; its output lines.
std::vector<std::string> RunToEnd(const std::vector<std::string>& argv, int* code = nullptr) {
  test::ChildProcess child(argv);
  std::vector<std::string> lines;
  while (auto line = child.ReadLine(kWaitMs)) lines.push_back(*line);
  auto status = child.Wait(kWaitMs);
  if (code) *code = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class NshostMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    ::setenv("HUB_UI_DRIVER", "terminal", 1);
    ::setenv("HUB_UI_WAIT_MS", "0", 1);
    player_ = test::MakeTempDir("player");
    for (const char* name : {"Band/01 One.mp3", "Band/02 Two.mp3", "Band/03 Three.mp3"}) {
      fs::create_directories(player_ + "/Band");
      std::ofstream(player_ + "/" + name, std::ios::binary) << std::string(4000, name[8]);
    }
    std::ofstream(player_ + "/Tarveld.iDB") << "";
    ::setenv("HUB_FOLDER_PLAYERS", (player_ + "|H300|48300001").c_str(), 1);
    WriteSettingDword("KW_PortT", FreePort());
    WriteSettingDword("Vad_InstallResult", 0x80040000u);
    WriteSettingDword("Gen_DisableKestMgrCloseConfirm", 1);
    manager_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{std::string(HUBWARDEN_DIR) + "/irivmgr"});
    const uint64_t end = platform::TickCount64() + kWaitMs;
    while (!platform::FindWindowByClass(TheProductProfile().windowClassName) && platform::TickCount64() < end)
      platform::SleepMs(10);
    // Connect answers nothing; the first track shows the player was read.
    Kdpcall("Connect 0");
    std::vector<std::string> first = Kdpcall("GetFirstTrack");
    ASSERT_FALSE(first.empty() || first[0] != "R 3") << ::testing::PrintToString(first);
    // The host answers from its script.
    ::setenv("HUB_UI_DRIVER", "scripted", 1);
    int code = -1;
    RunToEnd({NSHOST_PATH, "register", std::string(HUBSHELL_DIR) + "/tarveldih.so"}, &code);
    ASSERT_EQ(code, 0);
  }
  void TearDown() override {
    RunToEnd({NSHOST_PATH, "unregister", std::string(HUBSHELL_DIR) + "/tarveldih.so"});
    RunToEnd({HUBPLAT_PATH, "post", "KDPWNC_TV", "0x10"});
    manager_->Wait(kWaitMs);
  }
  // kdpcall's answer lines, its complaints included.
  static std::vector<std::string> Kdpcall(const std::string& args) {
    return RunToEnd({"/bin/sh", "-c", std::string(KDPCALL_PATH) + " --product irivmgr " + args + " 2>&1"});
  }
  std::vector<std::string> Script(const std::string& text, int* code) {
    std::string path = test::MakeTempDir("script") + "/script.txt";
    std::ofstream(path) << text;
    return RunToEnd({NSHOST_PATH, "--script", path}, code);
  }
  std::string player_;
  std::unique_ptr<test::ChildProcess> manager_;
};

TEST_F(NshostMenuTest, APlaylistMadeFromTheMenuIsFilledBackedUpAndATrackDeletedStaysGone) {
  std::string backups = test::MakeTempDir("backups");
  int code = -1;
  std::vector<std::string> out = Script(
      "cd Audio Tracks\n"
      "answer name \"Road Trip\"\n"
      "do \"Add to Playlist/Create New Playlist...\" 0,1\n"
      "playlist add \"Road Trip\" 2\n"
      "cd /Playlists\n"
      "backup all " + backups + "\n"
      "cd /Audio Tracks\n"
      "answer yes\n"
      "delete 2\n"
      "quit\n",
      &code);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(Has(out, "message: Playlist 'Road Trip' created with 2 tracks.")) << ::testing::PrintToString(out);
  EXPECT_TRUE(Has(out, "message: 1 track added to playlist Road Trip."));
  EXPECT_TRUE(Has(out, "message: Playlist backup complete."));
  EXPECT_TRUE(Has(out, "message: Are you sure you want to delete the selected items?"));
  EXPECT_EQ(fs::file_size(backups + "/Road Trip.rpb"), 60u);

  std::vector<std::string> first = Kdpcall("GetFirstPlaylist");
  ASSERT_EQ(first.size(), 2u);
  std::string id = first[1].substr(3, first[1].find(',') - 3);
  EXPECT_EQ(Kdpcall("GetPlaylistName " + id), std::vector<std::string>{"T Road Trip"});
  std::vector<std::string> tracks = Kdpcall("GetFirstTrack");
  ASSERT_FALSE(tracks.empty());
  EXPECT_EQ(tracks[0], "R 2") << "the deleted track is gone from the database";
}

// Contacts from a folder of cards reach a player that never held any (its
// "TEXT" folder is made by the first card) through the real manager.
TEST_F(NshostMenuTest, ContactsSyncedFromACardFolderLandOnThePlayer) {
  const std::string cards = test::MakeTempDir("cards");
  std::ofstream(cards + "/a.vcf", std::ios::binary)
      << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Okafor;Mina\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Mina =C3=96kafor\r\n"
         "TEL;HOME;VOICE:555\r\nEND:VCARD\r\n";
  std::ofstream(cards + "/b.vcf", std::ios::binary) << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:B;A\r\nFN:A/B\r\nEND:VCARD\r\n";
  ASSERT_FALSE(fs::exists(player_ + "/TEXT"));
  ::setenv("HUB_CONTACTS_DIR", cards.c_str(), 1);
  int code = -1;
  std::vector<std::string> out = Script(
      "cd Contacts\n"
      "answer yes\n"
      "bar Sync with Outlook (Default Folder)\n"
      "ls\n"
      "quit\n",
      &code);
  ::unsetenv("HUB_CONTACTS_DIR");
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(Has(out, "  0   A_B")) << ::testing::PrintToString(out);
  EXPECT_TRUE(Has(out, "  1   Mina Ökafor"));
  EXPECT_TRUE(Has(out, "status: 2 items. |  | "));
  std::ifstream card(player_ + "/TEXT/Mina Ökafor.vcf.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(card)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("n:Okafor;Mina\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("tel;home;voice:555\r\n"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(player_ + "/TEXT/A_B.vcf.txt"));
}

}  // namespace
}  // namespace hub
