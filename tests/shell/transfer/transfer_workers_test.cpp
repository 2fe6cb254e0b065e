// The transfer workers against an in-memory player: the result of each
// code, the tag check, saves, playlists, data drops, Cancel, Ctrl-C and the
// waits that end without a completion.
#include <csignal>
#include <filesystem>

#include "common/explorer_refresh.h"
#include "platform/kernel/clock.h"
#include "platform/ui/pump.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"
#include "shell/transfer/transfer_playlists.h"
#include "support/child_process.h"
#include "transfer_fixture.h"

namespace hub::test {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using D = CTransferDialog;

using TransferWorkersTest = TransferTest;

// The log's line of each file, as the worker ends it.
std::vector<std::string> FileLines(const std::string& log) {
  std::vector<std::string> out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("File: ", 0) == 0 && line.find(".File is") != std::string::npos) out.push_back(line);
  }
  return out;
}

TEST_F(TransferWorkersTest, EachResultCodeEndsItsFileAsTheTableSays) {
  struct Case {
    const char* what;
    int code;
    int64_t doneLParam;
    std::vector<ui::UiAction> answers;
    const char* tail;
    int transferred, skippedExisting;
    bool secondSent;  // the run went on to the next file
    const char* message;
  } cases[] = {
      {"copied", 0, 0, {}, "starting transfer...complete.", 1, 0, true, nullptr},
      {"a copy that failed in the player", 0, 1, {ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdNo)},
       "starting transfer...error (0x0)(0x1f).", 0, 0, false, "Could not send file:\na.mp3\n\nError code: 31\n\nDescription:Driver Error: 0x1F"},
      {"synchronous", 9, 0, {}, "starting transfer...synchronous...complete.", 1, 0, true, nullptr},
      {"skipped", 5, 0, {}, "starting transfer...skipped.", 0, 0, true, nullptr},
      {"already there", 7, 0, {}, "starting transfer...already exists...skipped.", 0, 1, true, nullptr},
      {"memory full, go on", 8, 0, {ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdYes)},
       "starting transfer...memory is full.", 0, 0, true, "Memory is full."},
      {"memory full, stop", 8, 0, {ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdNo)},
       "starting transfer...memory is full.", 0, 0, false, "Memory is full."},
      {"not activated", 10, 0, {ui::UiAction::Answer(ui::kIdOk)}, "starting transfer...not activated for transfer...skipped.",
       0, 0, true, "This protected file has not yet been activated for use on this computer.\nIt will not be transferred.\n\nTry activating this file and transferring again."},
      {"unreadable source", 11, 0, {}, "starting transfer...could not read source file...skipped.", 0, 0, true, nullptr},
      {"any other", 3, 0, {ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdNo)},
       "starting transfer...error (0x3)(0x1f).", 0, 0, false, "Could not send file:\na.mp3\n\nError code: 31\n\nDescription:Driver Error: 0x1F"},
  };
  lastErrorCode_ = 0x1F;
  lastErrorText_ = "Driver Error: 0x1F";
  const std::string a = Mp3("a.mp3"), b = Mp3("b.mp3", "Artist", "Album", "Other");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    player_.sent.clear();
    player_.answers = {c.code, 0};
    player_.doneLParam = c.doneLParam;
    for (const auto& answer : c.answers) ui_->Push(answer);
    log_->Open();
    Run({a, b});
    player_.doneLParam = 0;
    EXPECT_EQ(ui_->Pending(), 0u);
    const auto lines = FileLines(Log());
    ASSERT_GE(lines.size(), 1u) << Log();
    EXPECT_EQ(lines[0], "File: " + a + ".File is audio...reading tag...tag is good...a(Artist)b(Album)t(Title)..." +
                            c.tail);
    EXPECT_EQ(dialog_->filesTransferred, c.transferred + (c.secondSent ? 1 : 0));
    EXPECT_EQ(dialog_->skippedExisting, c.skippedExisting);
    EXPECT_EQ(player_.sent.size(), c.secondSent ? 2u : 1u);
    if (c.message) {
      EXPECT_EQ(Messages().at(Messages().size() - (c.answers.size() > 1 ? 2 : 1)), c.message);
    }
    // Only finished copies join the Last Transfer list (the synchronous ones as 0).
    std::string value;
    ReadSettingBinary(LastTransferValueName("MEMORY-0001"), value);
    const size_t expected = (c.code == 0 && c.doneLParam == 0) + (c.code == 9 || c.code == 10) + c.secondSent;
    EXPECT_EQ(value.size(), 4 * expected);
    if (!c.secondSent) {
      EXPECT_NE(Log().find(c.answers.empty() ? "Transfer canceled." : "User opted to abandon transfer."),
                std::string::npos);
      // Stopped runs build no playlists: nothing asked.
    }
  }
}

TEST_F(TransferWorkersTest, TheTagCheckSkipsFillsOrAsks) {
  struct Case {
    const char* what;
    uint32_t skip, fill;
    std::vector<ui::UiAction> answers;
    const char* album;
    const char* title;
    const char* tail;
    int skippedTag, filled;
    const char* storedAlbum;
    const char* storedTitle;
  } cases[] = {
      {"skip", 1, 0, {}, "", "Song", "some required tag fields are missing...autoskipping...skipped.", 1, 0, nullptr, nullptr},
      {"both set: skip wins", 1, 1, {}, "", "Song", "some required tag fields are missing...autoskipping...skipped.", 1, 0,
       nullptr, nullptr},
      {"fill", 0, 1, {}, "", "Song", "some required tag fields are missing...autofilling...starting transfer...complete.",
       0, 1, "<Unknown>", "Song"},
      {"empty title: the base name", 0, 1, {}, "Album", "", "some required tag fields are missing...autofilling...starting transfer...complete.",
       0, 1, "Album", "untitled"},
      {"prompt, OK", 0, 0, {ui::UiAction::Answer(ui::kIdOk)}, "", "Song",
       "some required tag fields are missing...manual fill...starting transfer...complete.", 0, 0, "<Unknown>", "Song"},
      {"prompt, Cancel", 0, 0, {ui::UiAction::Answer(ui::kIdCancel)}, "", "Song",
       "some required tag fields are missing...user wanted to skip...skipped.", 1, 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettingDword("JB_Tx_ITagSkip", c.skip);
    WriteSettingDword("JB_Tx_ITagFill", c.fill);
    const std::string path = Mp3("untitled.mp3", "Artist", c.album, c.title);
    for (const auto& answer : c.answers) ui_->Push(answer);
    const size_t tracksBefore = player_.sent.size();
    log_->Open();
    Run({path});
    EXPECT_EQ(ui_->Pending(), 0u);
    const auto lines = FileLines(Log());
    ASSERT_EQ(lines.size(), 1u) << Log();
    EXPECT_EQ(lines[0], "File: " + path + ".File is audio...reading tag..." + c.tail);
    EXPECT_EQ(dialog_->skippedIncompleteTag, c.skippedTag);
    EXPECT_EQ(dialog_->tagsFilled, c.filled);
    EXPECT_EQ(Log().find("Auto-skipping files with incomplete tags.") != std::string::npos, c.skip != 0);
    EXPECT_EQ(Log().find("Auto-completing incomplete tags.") != std::string::npos, c.fill != 0);
    if (c.storedAlbum) {
      ASSERT_EQ(player_.sent.size(), tracksBefore + 1);
      KernelId id;
      ASSERT_TRUE(player_.FindTrackByHash(KernelDevice::ComputeTrackHash("Artist", c.storedAlbum, c.storedTitle), id));
    } else {
      EXPECT_EQ(player_.sent.size(), tracksBefore);
    }
  }
}

TEST_F(TransferWorkersTest, SavesDataSyncEmptyQueueAndLongPaths) {
  // A save after each file while nothing was transferred, after the 50th, and at the end.
  std::vector<std::string> files;
  for (int i = 0; i < 52; ++i) files.push_back(Mp3("t" + std::to_string(100 + i) + ".mp3", "A", "B", "T" + std::to_string(i)));
  player_.answers = {5, 0};
  Run(files);
  EXPECT_EQ(dialog_->filesTransferred, 51);
  EXPECT_EQ(player_.saves, 3) << "the skipped first file (count 0), the 50th copy, the end";
  EXPECT_EQ(player_.segments, std::vector<uint32_t>{1});

  // Sync: data files are skipped, no playlists.
  const std::string text = TextFile("notes.txt");
  log_->Open();
  Run({text}, {}, true);
  EXPECT_EQ(FileLines(Log()), std::vector<std::string>{"File: " + text + ".File is data...data files skipped during sync...skipped."});
  EXPECT_NE(Log().find("Synchronizing Device to PC"), std::string::npos);

  // Without sync a data file is sent as one.
  log_->Open();
  player_.sent.clear();
  Run({text});
  EXPECT_EQ(FileLines(Log()), std::vector<std::string>{"File: " + text + ".File is data...starting transfer...complete."});
  EXPECT_EQ(player_.sent, std::vector<std::string>{text});

  // A path the protocol would cut is never sent.
  const std::string deep = music_ + "/" + std::string(120, 'd') + "/" + std::string(140, 'e') + ".mp3";
  fs::create_directories(fs::path(deep).parent_path());
  MakeTaggedMp3(deep, "A", "B", "C");
  player_.sent.clear();
  log_->Open();
  Run({deep});
  EXPECT_TRUE(player_.sent.empty());
  EXPECT_NE(Log().find("path too long for the device protocol...skipped."), std::string::npos) << Log();

  // Nothing to send: said, and the dialog is not finished.
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  log_->Open();
  Run({});
  EXPECT_EQ(Messages().back(), "File queue was empty.  No files transferred.");
  EXPECT_NE(dialog_->Caption(), "Transfer complete.");
  EXPECT_EQ(dialog_->cancelRequested.load(), 1);
}

TEST_F(TransferWorkersTest, SentFoldersBecomePlaylistsAfterYes) {
  const std::string a = Mp3("a.mp3", "Band", "Disc", "One"), b = Mp3("b.mp3", "Band", "Disc", "Two");
  TransferGroups groups{{"Music/Disc/", {a, b}}, {"  ", {a}}};
  ui_->Push(ui::UiAction::Answer(ui::kIdYes));
  Run({a, b}, groups);
  EXPECT_EQ(dialog_->playlistsCreated, 1);
  KernelId playlist;
  ASSERT_TRUE(player_.GetFirstPlaylist(playlist));
  EXPECT_EQ(player_.GetPlaylistName(playlist), "Music - Disc");
  EXPECT_NE(Log().find("Added: Band - Disc - One"), std::string::npos) << Log();
  EXPECT_NE(Log().find("Playlist 'Music/Disc/' created with 2 items."), std::string::npos) << Log();

  // The same again: the name is taken, so nothing is made; No makes nothing either.
  ui_->Push(ui::UiAction::Answer(ui::kIdYes));
  log_->Open();
  Run({a, b}, groups);
  EXPECT_NE(Log().find("Playlist 'Music/Disc/' was not created, either because of an error, or because it already exists."),
            std::string::npos);
  ui_->Push(ui::UiAction::Answer(ui::kIdNo));
  Run({a}, groups);
  EXPECT_EQ(dialog_->playlistsCreated, 0);
  WriteSettingDword("JB_Tx_DisableAskAutoPlaylistCreation", 1);
  Run({a}, groups);  // not even asked
  EXPECT_EQ(ui_->Pending(), 0u);
  EXPECT_EQ(AutoPlaylistName("/m/Album/"), "m - Album");
}

TEST_F(TransferWorkersTest, AClientFailureMidRunIsReportedAndStillRefreshesTheViews) {
  // An Explorer window showing the namespace records the commands it gets.
  std::vector<int64_t> commands;
  platform::ScopedWindowClass explorerClass("CabinetWClass", platform::DefaultWindowProc);
  platform::ScopedWindowClass viewClass(kNamespaceViewClass, [&commands](platform::WindowHandle h, uint32_t m,
                                                                         uint64_t w, int64_t l) -> int64_t {
    if (m == kNamespaceCommandMessage) commands.push_back(l);
    return platform::DefaultWindowProc(h, m, w, l);
  });
  ASSERT_TRUE(explorerClass.ok() && viewClass.ok());
  const platform::WindowHandle explorer = platform::CreateHiddenWindow("CabinetWClass", "");
  struct Gone {
    platform::WindowHandle window;
    ~Gone() { platform::DestroyWindow(window); }
  } gone{explorer};
  ASSERT_NE(platform::CreateHiddenWindow(kNamespaceViewClass, "", explorer), 0u);

  const std::string a = Mp3("a.mp3");
  player_.onAdd = [] { throw KernelDeviceClientException(0, "Device Connection", "Manager is not running."); };
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  Run({a, Mp3("b.mp3")});
  EXPECT_NE(Messages().back().find("Problem encountered during transfer to your device."), std::string::npos);
  EXPECT_NE(dialog_->Caption(), "Transfer complete.");
  EXPECT_EQ(player_.sent.size(), 1u);
  PumpMessagesUntil([&] { return !commands.empty(); }, 5000);
  EXPECT_EQ(commands, std::vector<int64_t>{kNamespaceAfterChange});
}

TEST_F(TransferWorkersTest, CancelPressCtrlCAndAVanishedManagerEndTheWait) {
  const std::string a = Mp3("a.mp3"), b = Mp3("b.mp3", "A", "B", "C");
  // Cancel while the player copies (hubplat's press reaches the modeless
  // dialog) and the completion never comes: the quiet period ends the wait,
  // the file ends canceled and the run stops.
  dialog_->SetCancelQuietMs(300);
  player_.complete = false;
  player_.onAdd = [] { ui::SubmitRemoteAction(ui::UiAction::Press(D::kIdCancel)); };
  uint64_t start = platform::TickCount64();
  Run({a, b});
  EXPECT_LT(platform::TickCount64() - start, 5000u);
  EXPECT_EQ(player_.sent.size(), 1u);
  EXPECT_NE(Log().find("starting transfer...canceled.\r\nTransfer canceled."), std::string::npos) << Log();
  EXPECT_EQ(dialog_->filesTransferred, 0);

  // Ctrl-C presses Cancel.
  player_.onAdd = [] { std::raise(SIGINT); };
  log_->Open();
  Run({a, b});
  EXPECT_NE(Log().find("starting transfer...canceled.\r\nTransfer canceled."), std::string::npos) << Log();
  EXPECT_EQ(dialog_->Ctl<ui::Control>(D::kIdCancel).Text(), "Wait...");

  // A second Ctrl-C ends the wait at once.
  dialog_->SetCancelQuietMs(60000);
  player_.onAdd = [] {
    std::raise(SIGINT);
    std::raise(SIGINT);
  };
  log_->Open();
  start = platform::TickCount64();
  Run({a});
  EXPECT_LT(platform::TickCount64() - start, 5000u);
  EXPECT_NE(Log().find("canceled."), std::string::npos);

  // The manager's window goes with its process: the run ends as a client failure.
  player_.onAdd = nullptr;
  dialog_->SetCancelQuietMs(D::kCancelQuietMs);
  ChildProcess manager([] {
    platform::RegisterWindowClass("TxTestManager", platform::DefaultWindowProc);
    auto window = platform::CreateHiddenWindow("TxTestManager", "manager");
    std::printf("%u\n", window);
    std::fflush(stdout);
    for (;;) ::pause();
    return 0;
  });
  auto line = manager.ReadLine(10000);
  ASSERT_TRUE(line);
  const platform::WindowHandle window = uint32_t(std::stoul(*line));
  managerAlive_ = [window] { return platform::IsWindowAlive(window); };
  player_.onAdd = [&manager] { manager.Kill(); };
  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  log_->Open();
  const uint64_t started = platform::TickCount64();
  Run({a});
  EXPECT_LT(platform::TickCount64() - started, 5000u);
  EXPECT_NE(Messages().back().find("Problem encountered during transfer to your device."), std::string::npos);
  EXPECT_NE(Messages().back().find("is not running."), std::string::npos);
}

TEST_F(TransferWorkersTest, DataFilesAreSentFlatInNameOrder) {
  const std::string top = MakeTempDir("drop");
  fs::create_directories(top + "/sub/deeper");
  std::ofstream(top + "/b.txt") << "b";
  std::ofstream(top + "/a.txt") << "a";
  std::ofstream(top + "/sub/c.bin") << "c";
  std::ofstream(top + "/sub/deeper/d.txt") << "d";
  fs::create_directory_symlink(top, top + "/sub/loop");
  const std::string single = TextFile("single.txt");
  dialog_->TransferDataFiles(*log_, KernelId(7), {single, top, music_ + "/missing.txt"});
  player_.JoinSenders();
  EXPECT_EQ(player_.sent, (std::vector<std::string>{single, top + "/a.txt", top + "/b.txt", top + "/sub/c.bin",
                                                     top + "/sub/deeper/d.txt"}));
  EXPECT_EQ(dialog_->filesTransferred, 5);
  EXPECT_EQ(FileLines(Log()).front(), "File: " + single + ".File is data...starting transfer...complete.");

  ui_->Push(ui::UiAction::Answer(ui::kIdOk));
  log_->Open();
  dialog_->TransferDataFiles(*log_, KernelId(7), {MakeTempDir("empty")});
  EXPECT_EQ(Messages().back(), "File queue was empty.  No files transferred.");
}

}  // namespace
}  // namespace hub::test
