// The headless user interface's choosers, dropped files, pictures, list check
// boxes and work posted to the user-interface thread, through both drivers and
// the control socket.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <latch>
#include <memory>
#include <optional>
#include <thread>

#include "platform/ui/control.h"
#include "platform/ui/driver.h"
#include "platform/ui/prompts.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"
#include "support/hermetic_env.h"
#include "support/ui_pump.h"

namespace hub::platform::ui {
namespace {

std::string Touch(const std::string& path) {
  std::ofstream(path) << "x";
  return path;
}

class ChooserTest : public ::testing::Test {
 protected:
  ScopedUiDriver<> ui;
  ScriptedUiDriver* driver = ui.get();
  std::string dir = test::MakeTempDir("choose");
};

TEST_F(ChooserTest, FilterTextSplitsIntoDescriptionsAndPatterns) {
  FileRequest r;
  r.filter = "Playback Applications (*.exe)|*.exe|All Files (*.*)|*.*||";
  auto f = r.Filters();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].first, "Playback Applications (*.exe)");
  EXPECT_EQ(f[0].second, "*.exe");
  EXPECT_EQ(f[1].second, "*.*");
  r.filter = "";
  EXPECT_TRUE(r.Filters().empty());
}

// What the chooser answers for each sequence of a person's picks.
TEST_F(ChooserTest, OpenAndSaveChecksAsTheChooserDoes) {
  std::string existing = Touch(dir + "/player.exe");
  ::mkdir((dir + "/folder.d").c_str(), 0700);
  struct Case {
    const char* name;
    bool save;
    std::vector<UiAction> script;
    std::optional<std::string> expected;
    std::vector<std::string> messages;  // the start of each box shown
  } cases[] = {
      {"open existing", false, {UiAction::PickFile(existing)}, existing, {}},
      {"default extension added", false, {UiAction::PickFile(dir + "/player")}, existing, {}},
      {"cancel", false, {UiAction::PickFile("")}, std::nullopt, {}},
      {"missing, then existing",
       false,
       {UiAction::PickFile(dir + "/none.exe"), UiAction::Answer(kIdOk), UiAction::PickFile(existing)},
       existing,
       {dir + "/none.exe\nFile not found."}},
      {"a folder is no file",
       false,
       {UiAction::PickFile(dir + "/folder.d"), UiAction::Answer(kIdOk), UiAction::PickFile("")},
       std::nullopt,
       {dir + "/folder.d\nThis is not a file."}},
      {"save new", true, {UiAction::PickFile(dir + "/new")}, dir + "/new.exe", {}},
      {"save over, yes", true, {UiAction::PickFile(existing), UiAction::Answer(kIdYes)}, existing,
       {existing + " already exists.\nDo you want to replace it?"}},
      {"save over, no, then cancel",
       true,
       {UiAction::PickFile(existing), UiAction::Answer(kIdNo), UiAction::PickFile("")},
       std::nullopt,
       {existing + " already exists."}},
      {"save into a missing folder",
       true,
       {UiAction::PickFile(dir + "/gone/x.exe"), UiAction::Answer(kIdOk), UiAction::PickFile("")},
       std::nullopt,
       {dir + "/gone/x.exe\nPath does not exist."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t before = driver->Messages().size();
    for (const auto& a : c.script) driver->Push(a);
    FileRequest r;
    r.save = c.save;
    r.title = "Select a playback application to register...";
    r.filter = "Playback Applications (*.exe)|*.exe||";
    r.defaultExtension = ".exe";
    EXPECT_EQ(ChooseFile(r), c.expected);
    EXPECT_EQ(driver->Pending(), 0u);
    ASSERT_EQ(driver->Messages().size() - before, c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i)
      EXPECT_EQ(driver->Messages()[before + i].text.rfind(c.messages[i], 0), 0u) << driver->Messages()[before + i].text;
  }
}

TEST_F(ChooserTest, ColourTextsAndScriptedPicks) {
  struct Case {
    const char* text;
    std::optional<uint32_t> color;
  } cases[] = {{"0xFFE6E6", 0xFFE6E6}, {"#102030", 0x302010}, {"255", 255},       {"#12345", std::nullopt},
               {"0x1000000", std::nullopt}, {"blue", std::nullopt}, {"", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(ParseColor(c.text), c.color) << c.text;
  EXPECT_EQ(FormatColor(0xE6FFE6), "0xE6FFE6");

  ColorRequest r;
  r.initial = 0xFFE6E6;
  driver->Push({UiAction::PickColor("#E6FFE6"), UiAction::PickColor(""), UiAction::PickColor("blue")});
  EXPECT_EQ(ChooseColor(r), 0xE6FFE6u);
  EXPECT_EQ(ChooseColor(r), std::nullopt);
  EXPECT_THROW(ChooseColor(r), UiScriptError);
  EXPECT_EQ(driver->Transcript().back(), "colour chooser: 0xFFE6E6");
  // Nothing scripted: the test learns it at once.
  EXPECT_THROW(ChooseColor(r), UiScriptError);
}

// A dialog that takes dropped files only once it said so, and a picture panel.
class DropDialog : public Dialog {
 public:
  DropDialog()
      : Dialog(DialogTemplate{530,
                              "Edit Track Information",
                              {{1276, ControlKind::Static, "Loading Art..."}, {1, ControlKind::Button, "Save"},
                               {2, ControlKind::Button, "Cancel"}}}) {}
  std::vector<std::vector<std::string>> drops;
  void OnDropFiles(const std::vector<std::string>& paths) override { drops.push_back(paths); }
};

TEST_F(ChooserTest, DroppedFilesArriveOnlyWhileAccepted) {
  DropDialog dlg;
  driver->Push({UiAction::DropFiles({"/a.png"})});
  EXPECT_THROW(dlg.DoModal(), UiScriptError);
  EXPECT_TRUE(dlg.drops.empty());

  driver->Push({UiAction::Call([&] { dlg.DragAcceptFiles(true); }), UiAction::DropFiles({"/a b.png", "/c.png"}),
                UiAction::DropFiles({"/d.gif"}), UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  ASSERT_EQ(dlg.drops.size(), 2u);
  EXPECT_EQ(dlg.drops[0], (std::vector<std::string>{"/a b.png", "/c.png"}));
  EXPECT_EQ(dlg.drops[1], std::vector<std::string>{"/d.gif"});
  EXPECT_EQ(UiAction::DropFiles({"/x", "/y"}).Describe(), "drop \"/x\" \"/y\"");
}

TEST(StaticControl, ShowsTextPictureOrFill) {
  DropDialog dlg;
  dlg.Create();
  auto& panel = dlg.Ctl<Static>(1276);
  EXPECT_EQ(panel.Value(), "\"Loading Art...\"");
  auto picture = std::make_shared<media::Bitmap>();
  picture->width = 150;
  picture->height = 150;
  picture->rgba.assign(150 * 150 * 4, 0xFF);
  panel.SetPicture(picture);
  EXPECT_EQ(panel.Picture(), picture);
  EXPECT_NE(dlg.Describe().find("1276 static: [picture 150x150]"), std::string::npos) << dlg.Describe();
  panel.SetPicture(nullptr);
  panel.SetFillColor(0xFFE6E6);
  EXPECT_EQ(panel.Value(), "[colour 0xFFE6E6]");
  panel.SetFillColor(std::nullopt);
  EXPECT_EQ(panel.Value(), "\"Loading Art...\"");
}

// A page whose list has check boxes, recording what it was told.
class ChecksDialog : public Dialog {
 public:
  ChecksDialog()
      : Dialog(DialogTemplate{637, "Transfers", {{1251, ControlKind::ListView, ""}, {1, ControlKind::Button, "OK"}}}) {}
  std::vector<std::pair<int, int>> notices;  // (code, row)
  int64_t OnNotify(Control&, int code, int64_t param) override {
    if (code == kLvnItemChanged || code == kLvnItemActivate)
      notices.emplace_back(code, reinterpret_cast<ListItemNotice*>(param)->row);
    return 0;
  }
};

TEST_F(ChooserTest, ListCheckBoxesAndActivation) {
  ChecksDialog dlg;
  dlg.Create();
  auto& list = dlg.Ctl<ListView>(1251);
  list.InsertItem(0, "Data Files");
  list.InsertItem(1, "WAV");
  std::string error;
  EXPECT_FALSE(list.ApplyUserValue("check 0", error));
  EXPECT_EQ(error, "the list has no check boxes");
  list.SetCheckBoxes(true);
  list.SetCheck(1, true);
  EXPECT_EQ(list.Value(), "2 rows; 0: [ ] Data Files; 1: [x] WAV");

  driver->Push({UiAction::Set(1251, "check 0"), UiAction::Set(1251, "uncheck 1"), UiAction::Set(1251, "activate 1"),
                UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.RunModalLoop(), kIdOk);
  EXPECT_TRUE(list.GetCheck(0));
  EXPECT_FALSE(list.GetCheck(1));
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{1});
  EXPECT_EQ(dlg.notices, (std::vector<std::pair<int, int>>{{kLvnItemChanged, 0}, {kLvnItemChanged, 1},
                                                           {kLvnItemActivate, 1}}));
  EXPECT_FALSE(list.ApplyUserValue("check 7", error));
  EXPECT_FALSE(list.GetCheck(7));
}

// A dialog that closes only once its worker's result reached the UI thread.
class WorkerDialog : public Dialog {
 public:
  WorkerDialog() : Dialog(DialogTemplate{1, "Worker", {{1, ControlKind::Button, "OK"}, {1276, ControlKind::Static, ""}}}) {}
  bool ready = false;
  std::thread::id ranOn;
  void OnOK() override {
    if (ready) EndDialog(kIdOk);
  }
};

TEST_F(ChooserTest, PostedWorkRunsOnTheUiThreadWhileTheDialogWaits) {
  WorkerDialog dlg;
  dlg.Create();
  std::latch release(1);
  std::thread worker([&, handle = dlg.Handle()] {
    release.wait();
    PostUiWork(handle, [&] {
      dlg.ranOn = std::this_thread::get_id();
      dlg.Ctl<Static>(1276).SetText("Drag Artwork Here.");
      dlg.ready = true;
    });
  });
  driver->Push({UiAction::Press(kIdOk),  // ignored: not ready
                UiAction::Call([&] { release.count_down(); }), test::PumpUntil([&] { return dlg.ready; }),
                UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.RunModalLoop(), kIdOk);
  worker.join();
  EXPECT_EQ(dlg.ranOn, std::this_thread::get_id());
  EXPECT_EQ(dlg.Ctl<Static>(1276).Text(), "Drag Artwork Here.");
}

TEST(PostedWork, WorkForAClosedWindowIsDropped) {
  int ran = 0;
  {
    WorkerDialog dlg;
    dlg.Create();
    PostUiWork(dlg.Handle(), [&] { ++ran; });
    dlg.DestroyWindow();
  }
  PostUiWork(0, [&] { ran += 10; });
  EXPECT_TRUE(WaitForUiWork(5000));
  EXPECT_EQ(ran, 10);
  EXPECT_FALSE(WaitForUiWork(0));
}

class TerminalChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out = std::tmpfile();
    ASSERT_NE(out, nullptr);
  }
  void TearDown() override {
    terminal.reset();
    std::fclose(out);
  }
  std::string Output() {
    std::fflush(out);
    std::rewind(out);
    std::string s;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, out)) s.append(buf, n);
    return s;
  }
  FILE* out = nullptr;
  std::optional<ScopedUiDriver<TerminalUiDriver>> terminal;
};

TEST_F(TerminalChooserTest, TypedAnswersAndDefaultsWithoutAPerson) {
  std::string dir = test::MakeTempDir("term");
  std::string file = Touch(dir + "/cover.png");
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string typed = file + "\n#102030\nred\n\n";
  ASSERT_EQ(::write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ::close(fds[1]);
  terminal.emplace(out, fds[0], true);
  FileRequest r;
  r.title = "Select an image";
  r.filter = "Images (*.png)|*.png||";
  EXPECT_EQ(ChooseFile(r), file);
  EXPECT_EQ(ChooseColor(ColorRequest{}), 0x302010u);
  EXPECT_EQ(ChooseColor(ColorRequest{}), std::nullopt);  // "red", then empty: cancel
  ::close(fds[0]);
  terminal.reset();
  terminal.emplace(out, -1, false);
  EXPECT_EQ(ChooseFile(r), std::nullopt);  // nobody answers: cancelled
  std::string text = Output();
  EXPECT_NE(text.find("Open: Select an image\n  type Images (*.png)"), std::string::npos) << text;
  EXPECT_NE(text.find("red is not a colour."), std::string::npos) << text;
  EXPECT_NE(text.find("-> cancel"), std::string::npos) << text;
}

TEST_F(TerminalChooserTest, PostedWorkEndsAWaitingDialogWithoutAnAnswer) {
  ::setenv("HUB_UI_WAIT_MS", "30000", 1);
  terminal.emplace(out, -1, false);
  ::unsetenv("HUB_UI_WAIT_MS");
  WorkerDialog dlg;
  dlg.Create();
  std::thread worker([handle = dlg.Handle(), &dlg] { PostUiWork(handle, [&dlg] { dlg.EndDialog(kIdRetry); }); });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dlg.RunModalLoop(), kIdRetry);
  worker.join();
  // Well before the 30 s a person had to answer.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(TerminalChooserTest, ControlSocketAnswersChoosersAndDrops) {
  ::setenv("HUB_UI_WAIT_MS", "10000", 1);
  terminal.emplace(out, -1, false);
  ::unsetenv("HUB_UI_WAIT_MS");
  UiControlServer server;
  ASSERT_TRUE(server.Ok());
  std::string dir = test::MakeTempDir("sock");
  std::string file = Touch(dir + "/a.png");

  // Sends the requests in order once the listing shows `waiting` (bounded).
  auto person = [](std::string waiting, std::vector<std::string> requests) {
    return std::thread([waiting, requests] {
      for (int i = 0; i < 1000; ++i) {
        if (SendUiControlRequest(::getpid(), "windows").value_or("").find(waiting) != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      for (const auto& r : requests) SendUiControlRequest(::getpid(), r);
    });
  };
  std::thread p1 = person("open file chooser \"Pick\"", {"file " + file});
  FileRequest r;
  r.title = "Pick";
  EXPECT_EQ(ChooseFile(r), file);
  p1.join();

  std::thread p2 = person("colour chooser 0x000000", {"color #0000FF"});
  EXPECT_EQ(ChooseColor(ColorRequest{}), 0xFF0000u);
  p2.join();

  DropDialog dlg;
  dlg.Create();
  dlg.DragAcceptFiles(true);
  std::thread p3 = person("modal accepts-files", {"drop " + file + "|/b.gif", "press 1"});
  EXPECT_EQ(dlg.RunModalLoop(), kIdOk);
  p3.join();
  ASSERT_EQ(dlg.drops.size(), 1u);
  EXPECT_EQ(dlg.drops[0], (std::vector<std::string>{file, "/b.gif"}));

  std::string printed;
  EXPECT_EQ(RunUiVerb({"answer", "drop", "/x"}, printed), 1);  // nothing waits now
  EXPECT_NE(printed.find("no dialog is waiting"), std::string::npos) << printed;
}

}  // namespace
}  // namespace hub::platform::ui
