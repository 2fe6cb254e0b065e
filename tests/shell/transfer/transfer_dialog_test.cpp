// The transfer dialog: progress, speed and time texts on a fake clock, the
// end of a transfer and when it waits for Close, the last-transfer value,
// the log menu, and the line a terminal shows.
#include "shell/transfer/transfer_dialog.h"

#include <csignal>
#include <cstdio>

#include "common/shell_routines.h"
#include "platform/ui/pump.h"
#include "shell/namespace/transfer_services.h"
#include "transfer_fixture.h"

namespace hub::test {
namespace {

namespace ui = platform::ui;
using D = CTransferDialog;

class TransferDialogTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    dialog_->SetTickSource([this] { return now_; });
  }
  std::string Text(int id) const { return dialog_->Ctl<ui::Control>(id).Text(); }
  int Pos(int id) const { return dialog_->Ctl<ui::Progress>(id).Pos(); }
  int64_t now_ = 1'000'000;
};

TEST_F(TransferDialogTest, ProgressSpeedAndTimesOnAFakeClock) {
  struct Step {
    const char* what;
    int total, current;
    uint64_t finished;   // bytes of finished copies
    int64_t copyMs;      // their copy time
    int64_t fileStart;   // 0: the worker skipped the file
    int size, percent;
    int64_t sinceStart;  // ms since the transfer began (and since the file's copy began)
    const char* caption;
    int overall;
    const char* speed;
    int throughputBar;
    const char* elapsed, *remaining;
  } steps[] = {
      {"one file of one, half copied", 1, 1, 0, 0, 1, 10'000'000, 50, 4000, "50% Transferring to Device", 500,
       "10.00 Mbit/s", 10, "0:04", "0:04"},
      {"the first of ten finished", 10, 1, 0, 0, 1, 1'000'000, 100, 2000, "10% Transferring to Device", 100,
       "4.00 Mbit/s", 4, "0:02", "0:18"},
      {"under one second of copying", 10, 1, 0, 0, 1, 1'000'000, 40, 900, "4% Transferring to Device", 40,
       "0.00 Mbit/s", 0, "0:00", "0:00"},
      {"above the bar's 50 Mbit/s", 1, 1, 0, 0, 1, 100'000'000, 100, 2000, "100% Transferring to Device", 1000,
       "400.00 Mbit/s", 50, "0:02", "0:00"},
      {"the overall bar still at 0", 4, 1, 0, 0, 1, 1'000'000, 0, 5000, "0% Transferring to Device", 0,
       "0.00 Mbit/s", 0, "0:05", "0:00"},
      // A skipped file (start tick 0) after a 1 MB copy of 2 s: only that copy counts.
      {"a skipped file between two copies", 3, 2, 1'000'000, 2000, 0, 1'000'000, 100, 60'000,
       "66% Transferring to Device", 666, "4.00 Mbit/s", 4, "1:00", "0:30"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    dialog_->Begin("Transferring to Device", "", s.total);
    dialog_->transferStartTick = uint32_t(now_);
    dialog_->currentFileNumber = s.current;
    dialog_->bytesFinished = s.finished;
    dialog_->transferMs = s.copyMs;
    dialog_->fileStartTick = s.fileStart ? now_ : 0;
    dialog_->currentFileSize = s.size;
    now_ += s.sinceStart;
    EXPECT_EQ(dialog_->ShowSpeed(s.percent), 0);
    EXPECT_EQ(dialog_->Caption(), s.caption);
    EXPECT_EQ(Pos(D::kIdOverallBar), s.overall);
    EXPECT_EQ(Pos(D::kIdFileBar), s.percent);
    EXPECT_EQ(Text(D::kIdSpeedText), s.speed);
    EXPECT_EQ(Pos(D::kIdThroughputBar), s.throughputBar);
    EXPECT_EQ(Text(D::kIdElapsed), s.elapsed);
    EXPECT_EQ(Text(D::kIdRemaining), s.remaining);
    EXPECT_EQ(Text(D::kIdCounter), "Processing file " + std::to_string(s.current) + "/" + std::to_string(s.total) + ".");
  }
  // Cancel on a player that can stop a copy asks it to.
  dialog_->OnCancelTransfer();
  EXPECT_EQ(dialog_->ShowSpeed(30), -1);
  EXPECT_EQ(Text(D::kIdCancel), "Wait...");
  EXPECT_FALSE(dialog_->Ctl<ui::Control>(D::kIdCancel).IsEnabled());
}

TEST_F(TransferDialogTest, FinishWaitsForCloseAsTheSettingsSay) {
  struct Case {
    bool closeWhenDone;
    uint32_t autoClose, stayOnSkips;
    int skipped;
    bool waits;
  } cases[] = {
      {false, 0, 0, 0, true},  {false, 1, 0, 0, false}, {true, 0, 0, 0, false}, {false, 1, 1, 1, true},
      {false, 1, 1, 0, false}, {true, 0, 1, 1, true},   {false, 1, 2, 1, false},  // 2 counts as not set
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.closeWhenDone << c.autoClose << c.stayOnSkips << c.skipped);
    WriteSettingDword("Gen_Tx_AutoCloseDialog", c.autoClose);
    WriteSettingDword("Gen_Tx_DialogStayOpenOnSkips", c.stayOnSkips);
    dialog_->Begin("Transferring to Device", "", 1);
    dialog_->skippedExisting = c.skipped;
    // A press of Close waits for the dialog: only a waiting Finish takes it.
    ui::SubmitRemoteAction(ui::UiAction::Press(D::kIdClose));
    dialog_->Finish(c.closeWhenDone);
    EXPECT_EQ(ui::TakeRemoteAction().has_value(), !c.waits);
    EXPECT_EQ(dialog_->closeRequested.load(), c.waits ? 1 : 0);
  }
}

TEST_F(TransferDialogTest, FinishShowsTheEndAndTheProductsButtons) {
  struct Case {
    const char* manager;
    const char* caption;
    bool post;
  } cases[] = {{"kestmgr", "Transfer complete.", true},
               {"irivmgr", "Transfer complete.", false},
               {"pellmgr", "Import complete.", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.manager);
    SelectProduct(c.manager, TheProductProfile());
    if (std::string(c.manager) == "pellmgr") {
      ASSERT_EQ(TheProductProfile().productNumber, 9);
    }
    InstallProductKey(TheProductProfile().productRegistryKey);
    WriteSettingDword("Gen_Tx_AutoCloseDialog", 1);
    dialog_->Begin("Transferring to Device", "", 2);
    dialog_->filesTransferred = 2;
    dialog_->tagsFilled = 1;
    dialog_->Finish(false);
    EXPECT_EQ(dialog_->Caption(), c.caption);
    EXPECT_EQ(dialog_->Ctl<ui::Control>(D::kIdPostResults).IsEnabled(), c.post);
    EXPECT_TRUE(dialog_->Ctl<ui::Control>(D::kIdClose).IsEnabled());
    EXPECT_TRUE(dialog_->Ctl<ui::Control>(D::kIdViewLogs).IsEnabled());
    EXPECT_FALSE(dialog_->Ctl<ui::Control>(D::kIdCancel).IsEnabled());
    EXPECT_EQ(Text(D::kIdCounter), "Processing complete.");
    EXPECT_EQ(Text(D::kIdTransferred), "2");
    EXPECT_EQ(Text(D::kIdTagsFilled), "1");
    EXPECT_EQ(Pos(D::kIdOverallBar), 1000);
  }
  const std::string report = ui_->Transcript().back();
  EXPECT_NE(report.find("     2 files transferred."), std::string::npos) << report;
  EXPECT_NE(report.find("     1 tags automatically filled."), std::string::npos) << report;
  EXPECT_NE(report.find("Transfer Log: " + GetTransferLogPath()), std::string::npos) << report;
}

TEST_F(TransferDialogTest, LastTransferHoldsTheCompletionValuesLittleEndian) {
  const std::string name = LastTransferValueName("MEMORY-0001");
  EXPECT_EQ(name.size(), std::string("Vad_Tx_LastTransfer").size() + 8);
  dialog_->SaveLastTransfer();
  std::string bytes = "unset";
  ReadSettingBinary(name, bytes);
  EXPECT_EQ(bytes, "") << "nothing arrived yet";
  dialog_->waitingForDevice = 1;
  dialog_->OnDeviceDone(0x01020304);
  EXPECT_EQ(dialog_->waitingForDevice.load(), 0);
  dialog_->OnDeviceDone(7);
  dialog_->OnDeviceDone(99, 1);  // a failed copy adds nothing
  dialog_->SaveLastTransfer();
  ReadSettingBinary(name, bytes);
  EXPECT_EQ(bytes, std::string("\x04\x03\x02\x01\x07\x00\x00\x00", 8));
  EXPECT_EQ(dialog_->lastCompletionValue, 7u);
}

TEST_F(TransferDialogTest, ViewLogsOffersTheReportsAndOpensTheChoice) {
  ui_->Push({ui::UiAction::ChooseMenu(D::kMenuTransferLog), ui::UiAction::ChooseMenu(D::kMenuTagWriteBack),
             ui::UiAction::Answer(ui::kIdOk)});
  ::unlink(GetTagWriteBackLogPath().c_str());
  const size_t before = ReadShellRequests().size();
  dialog_->OnViewLogs();
  const auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 1);
  EXPECT_NE(requests.back().find(GetTransferLogPath()), std::string::npos);
  EXPECT_NE(ui_->Transcript()[ui_->Transcript().size() - 1].find("702 Transfer Filelist"), std::string::npos);
  dialog_->OnViewLogs();
  EXPECT_EQ(Messages().back(), "Could not find log file.");
}

TEST_F(TransferDialogTest, ATerminalWithoutATtyGetsOneLinePerFile) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    ui::ScopedUiDriver<ui::TerminalUiDriver> terminal(out, -1, false);
    dialog_->SetTickSource(nullptr);
    Run({Mp3("a.mp3", "A", "B", "One"), Mp3("b.mp3", "A", "B", "Two"), Mp3("c.mp3", "A", "B", "Three")});
  }
  std::rewind(out);
  std::string text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;) text.append(buf, n);
  std::fclose(out);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(" | file ") != std::string::npos) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_EQ(lines[0].rfind("33% Transferring to Device | file 1/3 a.mp3 [##########] 100% | ", 0), 0u) << lines[0];
  EXPECT_NE(lines[2].find("file 3/3 c.mp3"), std::string::npos) << lines[2];
  EXPECT_NE(text.find("     3 files transferred."), std::string::npos) << text;
}

}  // namespace
}  // namespace hub::test
