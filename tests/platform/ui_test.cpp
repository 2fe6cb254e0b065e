// The headless user interface: dialogs and data exchange, sheets, menus,
// message boxes, tray, timers, both drivers and the control socket.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "platform/ui/control.h"
#include "platform/ui/driver.h"
#include "platform/ui/menu.h"
#include "platform/ui/prompts.h"
#include "platform/ui/pump.h"
#include "platform/ui/tray.h"
#include "platform/ui/ui_window.h"
#include "support/hermetic_env.h"

namespace hub::platform::ui {
namespace {

class ScriptedTest : public ::testing::Test {
 protected:
  ScopedUiDriver<> ui;
  ScriptedUiDriver* driver = ui.get();
};

// A dialog with a ranged port, a check box and a name.
class PortDialog : public Dialog {
 public:
  PortDialog()
      : Dialog(DialogTemplate{300,
                              "Port",
                              {{1002, ControlKind::Edit, ""}, {1000, ControlKind::CheckBox, "Off"},
                               {1008, ControlKind::Edit, ""}, {1, ControlKind::Button, "OK"},
                               {2, ControlKind::Button, "Cancel"}}}) {}
  int port = 8049;
  int off = 0;
  std::string name = "preset";
  void DoDataExchange(DataExchange& dx) override {
    dx.IntRange(1002, port, 1, 65535);
    dx.Check(1000, off);
    dx.Text(1008, name);
  }
};

TEST_F(ScriptedTest, RangeRefusalKeepsDialogOpenUntilValid) {
  PortDialog dlg;
  driver->Push({UiAction::Set(1002, "70000"), UiAction::Press(kIdOk), UiAction::Answer(kIdOk),
                UiAction::Set(1002, "abc"), UiAction::Press(kIdOk), UiAction::Answer(kIdOk),
                UiAction::Set(1002, " 8051 "), UiAction::Press(1000), UiAction::Press(kIdOk)});
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_EQ(dlg.port, 8051);
  EXPECT_EQ(dlg.off, 1);
  ASSERT_EQ(driver->Messages().size(), 2u);
  EXPECT_EQ(driver->Messages()[0].text, "Please enter an integer between 1 and 65535.");
  EXPECT_EQ(driver->Messages()[1].text, "Please enter an integer.");
  EXPECT_EQ(driver->Pending(), 0u);
}

TEST_F(ScriptedTest, CancelLeavesMembersAndShowsLoadedValues) {
  PortDialog dlg;
  driver->Push({UiAction::Set(1008, "typed"), UiAction::Press(kIdCancel)});
  EXPECT_EQ(dlg.DoModal(), kIdCancel);
  EXPECT_EQ(dlg.name, "preset");
  EXPECT_FALSE(dlg.Exists());
}

TEST_F(ScriptedTest, UnansweredModalFailsAtOnceWithClearMessage) {
  PortDialog dlg;
  try {
    dlg.DoModal();
    FAIL() << "a modal with no scripted answer returned";
  } catch (const UiScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("unanswered modal dialog \"Port\" (template 300)"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(CurrentModal(), nullptr);
  EXPECT_EQ(MessageBoxRequest{}.Buttons().size(), 1u);
  EXPECT_THROW(MessageBox(0, "Sure?", "Cap", kMbYesNo), UiScriptError);
}

TEST_F(ScriptedTest, ActionsThatDoNotFitAreErrors) {
  struct Case {
    UiAction action;
    const char* expect;
  } cases[] = {
      {UiAction::Set(999, "x"), "no control 999"},
      {UiAction::Set(1000, "7"), "check box takes 0 or 1"},
      {UiAction::Answer(kIdYes), "is waiting, not a answer"},
      {UiAction::Press(1008), "not a button"},
  };
  for (const auto& c : cases) {
    PortDialog dlg;
    driver->Push(c.action);
    try {
      dlg.DoModal();
      ADD_FAILURE() << c.action.Describe();
    } catch (const UiScriptError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
    }
  }
}

TEST(MessageBoxTypes, ButtonsDefaultsAndCloseAnswer) {
  struct Case {
    uint32_t type;
    std::vector<int> buttons;
    int def;
    int close;
  } cases[] = {
      {kMbOk | kMbIconInformation, {kIdOk}, kIdOk, kIdOk},
      {kMbOkCancel, {kIdOk, kIdCancel}, kIdOk, kIdCancel},
      {kMbYesNo | kMbIconQuestion, {kIdYes, kIdNo}, kIdYes, kIdYes},
      {kMbYesNo | kMbDefButton2, {kIdYes, kIdNo}, kIdNo, kIdNo},
      {kMbYesNoCancel | kMbDefButton3, {kIdYes, kIdNo, kIdCancel}, kIdCancel, kIdCancel},
      {kMbYesNo | kMbDefButton3, {kIdYes, kIdNo}, kIdYes, kIdYes},  // no third button: the first
  };
  for (const auto& c : cases) {
    MessageBoxRequest r{0, "c", "t", c.type};
    EXPECT_EQ(r.Buttons(), c.buttons) << c.type;
    EXPECT_EQ(r.DefaultButton(), c.def) << c.type;
    EXPECT_EQ(r.CloseAnswer(), c.close) << c.type;
  }
  EXPECT_EQ(ParseButton("YES"), kIdYes);
  EXPECT_EQ(ParseButton("2"), kIdCancel);
  EXPECT_EQ(ParseButton("maybe"), 0);
}

TEST_F(ScriptedTest, MessageBoxAnswerMustBeOneOfItsButtons) {
  driver->Push({UiAction::Answer(kIdNo), UiAction::Answer(kIdCancel)});
  EXPECT_EQ(MessageBox(0, "Close?", "Mgr", kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_THROW(MessageBox(0, "Close?", "Mgr", kMbYesNo), UiScriptError);
  EXPECT_EQ(driver->Transcript().front(), "message: Mgr: Close?");
}

// A page that refuses to be left while its check box is set.
class StickyPage : public PropertyPage {
 public:
  explicit StickyPage(std::string caption)
      : PropertyPage(DialogTemplate{400, std::move(caption), {{10, ControlKind::CheckBox, "Stay"}}}) {}
  int stay = 0;
  int applied = 0;
  int cancelled = 0;
  void DoDataExchange(DataExchange& dx) override { dx.Check(10, stay); }
  bool OnKillActive() override { return UpdateData(true) && !stay; }
  void OnOK() override { ++applied; }
  void OnCancel() override { ++cancelled; }
};

TEST_F(ScriptedTest, SheetAppliesVisitedPagesAndRefusedLeaveKeepsPage) {
  StickyPage a("A"), b("B"), c("C");
  PropertySheet sheet("Options");
  sheet.SetFlags(kPshNoApplyNow);
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  sheet.AddPage(&c);
  driver->Push({UiAction::Press(10), UiAction::SelectPage("B")});
  EXPECT_THROW(sheet.DoModal(), UiScriptError);  // A refuses to be left

  StickyPage d("A"), e("B"), f("C");
  PropertySheet sheet2("Options");
  sheet2.AddPage(&d);
  sheet2.AddPage(&e);
  sheet2.AddPage(&f);
  driver->Push({UiAction::SelectPage("B"), UiAction::Key(kVkTab, "ctrl+shift"), UiAction::Press(kIdOk)});
  EXPECT_EQ(sheet2.DoModal(), kIdOk);
  EXPECT_EQ(d.applied, 1);
  EXPECT_EQ(e.applied, 1);
  EXPECT_EQ(f.applied, 0);  // never shown, never applied

  StickyPage g("A");
  PropertySheet sheet3("Options");
  sheet3.AddPage(&g);
  driver->Push(UiAction::Press(kIdCancel));
  EXPECT_EQ(sheet3.DoModal(), kIdCancel);
  EXPECT_EQ(g.applied, 0);
  EXPECT_EQ(g.cancelled, 1);
}

class CommandWindow : public Window {
 public:
  CommandWindow() : Window("owner") { CreateWindowModel(); }
  std::vector<uint32_t> messages;
  std::vector<int> commands;
  bool OnCommand(int id) override {
    commands.push_back(id);
    return true;
  }
  void OnMessage(uint32_t m, uint64_t w, int64_t l) override {
    messages.push_back(m);
    if (m == 0x65 && l == kWmRButtonDown) {
      Menu menu;
      menu.AppendItem(501, "Open");
      TrackPopupMenu(menu, kTpmRightButton, Handle());
    }
    Window::OnMessage(m, w, l);
  }
  using Window::CreateWindowModel;
};

TEST_F(ScriptedTest, MenusReturnOrPostTheChosenCommand) {
  Menu sub;
  sub.AppendItem(530, "Deep");
  Menu menu;
  menu.AppendItem(501, "Open");
  menu.AppendSeparator();
  menu.AppendItem(502, "Greyed", kMfGrayed);
  menu.AppendSubmenu("More", std::move(sub));
  EXPECT_TRUE(menu.CheckItem(530, true));
  EXPECT_NE(menu.Describe().find("530 Deep [checked]"), std::string::npos);

  driver->Push({UiAction::ChooseMenu(530), UiAction::ChooseMenu(0), UiAction::ChooseMenu(502)});
  EXPECT_EQ(TrackPopupMenu(menu, kTpmReturnCmd, 0), 530u);
  EXPECT_EQ(TrackPopupMenu(menu, kTpmReturnCmd, 0), 0u);
  EXPECT_THROW(TrackPopupMenu(menu, kTpmReturnCmd, 0), UiScriptError);

  CommandWindow owner;
  driver->Push(UiAction::ChooseMenu(501));
  EXPECT_EQ(TrackPopupMenu(menu, 0, owner.Handle()), 1u);
  EXPECT_TRUE(owner.commands.empty());  // posted, not sent
  ProcessPendingUiWork();
  EXPECT_EQ(owner.commands, std::vector<int>{501});
}

TEST_F(ScriptedTest, TrayIconLifecycleAndClicks) {
  CommandWindow owner;
  TrayIconData icon{owner.Handle(), 0x80040000u, 0x65, 101, "Manager"};
  EXPECT_TRUE(TrayAdd(icon));
  EXPECT_FALSE(TrayAdd(icon));
  icon.tip = "Manager - connected";
  EXPECT_TRUE(TrayModify(icon));
  ASSERT_EQ(TrayIcons().size(), 1u);
  EXPECT_EQ(TrayIcons()[0].tip, "Manager - connected");

  EXPECT_TRUE(TrayClickIcon(0x80040000u, TrayClick::LeftDouble));
  // A right-click carries the menu choice, so no script entry is needed for the menu.
  EXPECT_TRUE(TrayClickIcon(0x80040000u, TrayClick::Right, 501));
  ProcessPendingUiWork();
  ProcessPendingUiWork();
  EXPECT_EQ(owner.messages, (std::vector<uint32_t>{0x65, 0x65, 0x65, kWmCommand}));
  EXPECT_EQ(owner.commands, std::vector<int>{501});

  EXPECT_TRUE(TrayDelete(owner.Handle(), 0x80040000u));
  EXPECT_FALSE(TrayClickIcon(0x80040000u, TrayClick::LeftDouble));
  EXPECT_FALSE(TrayDelete(owner.Handle(), 0x80040000u));
}

TEST_F(ScriptedTest, FolderChooserAndWaitCursor) {
  driver->Push({UiAction::PickFolder("/music"), UiAction::PickFolder("")});
  EXPECT_EQ(BrowseForFolder({0, "Copy to", "/home"}), std::optional<std::string>("/music"));
  EXPECT_EQ(BrowseForFolder({0, "Copy to", "/home"}), std::nullopt);
  {
    WaitCursor outer;
    WaitCursor inner;
    EXPECT_EQ(WaitCursorDepth(), 2);
  }
  EXPECT_EQ(WaitCursorDepth(), 0);
}

class TimerWindow : public Window {
 public:
  TimerWindow() { CreateWindowModel(); }
  int ticks = 0;
  void OnTimer(int id) override {
    if (id == 7 && ++ticks == 2) KillTimer(7);
  }
};

TEST(UiTimers, FireThroughPendingWorkUntilKilled) {
  TimerWindow w;
  w.SetTimer(7, 1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (w.ticks < 2 && std::chrono::steady_clock::now() < deadline) {
    ProcessPendingUiWork();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(w.ticks, 2);
  for (int i = 0; i < 5; ++i) ProcessPendingUiWork();
  EXPECT_EQ(w.ticks, 2);
}

TEST(ListAndTreeControls, SelectionAndPaths) {
  Window w;
  auto& list = w.AddControl<ListView>({1035, ControlKind::ListView, ""});
  list.InsertColumn(0, "Username", 100);
  list.InsertColumn(1, "Password", 100);
  list.InsertItem(0, "b");
  list.InsertItem(0, "a");
  list.SetItemText(0, 1, "pa");
  std::string error;
  EXPECT_TRUE(list.ApplyUserValue("0,1", error));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 1}));
  EXPECT_FALSE(list.ApplyUserValue("5", error));
  list.SetMultiSelect(false);
  EXPECT_FALSE(list.ApplyUserValue("0,1", error));
  EXPECT_EQ(list.ItemText(0, 1), "pa");
  EXPECT_EQ(list.ItemText(1, 1), "");

  auto& tree = w.AddControl<TreeView>({0x7EEE, ControlKind::TreeView, ""});
  auto a = tree.InsertItem("A");
  auto b = tree.InsertItem("B", a);
  tree.InsertItem("C", a);
  EXPECT_EQ(tree.FindPath("A::B"), b);
  EXPECT_EQ(tree.PathOf(b), "A::B");
  EXPECT_EQ(tree.FindPath("A::X"), 0u);
  EXPECT_TRUE(tree.ApplyUserValue("A::C", error));
  EXPECT_EQ(tree.ItemText(tree.Selected()), "C");
}

TEST(ProgressControl, RangeStepAndWrap) {
  Window w;
  auto& bar = w.AddControl<Progress>({1002, ControlKind::Progress, ""});
  bar.SetRange(0, 3);
  bar.SetStep(1);
  bar.SetPos(0);
  for (int i = 0; i < 3; ++i) bar.StepIt();
  EXPECT_EQ(bar.Pos(), 3);
  bar.SetPos(99);
  EXPECT_EQ(bar.Pos(), 3);
  bar.SetRange(0, 0);
  bar.StepIt();
  EXPECT_EQ(bar.Pos(), 0);
}

// The terminal driver writes into a temporary file standing for the terminal.
class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out = std::tmpfile();
    ASSERT_NE(out, nullptr);
  }
  void TearDown() override {
    terminal.reset();
    std::fclose(out);
  }
  // The terminal driver over `out`, while the test runs.
  void UseTerminal(int inFd = -1, bool interactive = false) { terminal.emplace(out, inFd, interactive); }
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

TEST_F(TerminalTest, WithoutTtyTakesDefaultsAndPrintsWhatAPersonWouldSee) {
  UseTerminal();
  EXPECT_EQ(MessageBox(0, "Log cleared.", "Kestro Explorer", kMbOk | kMbIconInformation), kIdOk);
  EXPECT_EQ(MessageBox(0, "Close?", "Kestro Explorer", kMbYesNo | kMbDefButton2), kIdNo);
  PortDialog dlg;
  EXPECT_EQ(dlg.DoModal(), kIdOk);  // the default button
  Menu menu;
  menu.AppendItem(501, "Open");
  EXPECT_EQ(TrackPopupMenu(menu, kTpmReturnCmd, 0), 0u);
  std::string text = Output();
  EXPECT_NE(text.find("=== Kestro Explorer ===\n(information) Log cleared."), std::string::npos) << text;
  EXPECT_NE(text.find("-> no"), std::string::npos) << text;
  EXPECT_NE(text.find("edit: \"8049\""), std::string::npos) << text;
  EXPECT_NE(text.find("501 Open"), std::string::npos) << text;
}

TEST_F(TerminalTest, AnswersTypedOnTheTerminal) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string typed = "maybe\nno\n1002=8051\nok\n2\n";
  ASSERT_EQ(::write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ::close(fds[1]);
  UseTerminal(fds[0], true);
  EXPECT_EQ(MessageBox(0, "Close?", "Mgr", kMbYesNo), kIdNo);
  PortDialog dlg;
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_EQ(dlg.port, 8051);
  EXPECT_EQ(MessageBox(0, "Again?", "Mgr", kMbOkCancel), kIdCancel);
  // End of input: defaults from here on.
  EXPECT_EQ(MessageBox(0, "Last", "Mgr", kMbOkCancel), kIdOk);
  ::close(fds[0]);
  EXPECT_NE(Output().find("Please answer one of [yes]/no"), std::string::npos);
}

class ProgressWindow : public Dialog {
 public:
  ProgressWindow()
      : Dialog(DialogTemplate{513, "Deleting...", {{1001, ControlKind::Static, "Preparing"}, {1002, ControlKind::Progress, ""}}}) {}
};

TEST_F(TerminalTest, ProgressShowsAsBarAndEndsWithTheWindow) {
  UseTerminal();
  {
    ProgressWindow w;
    w.Create();
    auto& bar = w.Ctl<Progress>(1002);
    bar.SetRange(0, 4);
    bar.SetStep(1);
    w.Show(true);
    for (int i = 0; i < 4; ++i) bar.StepIt();
    w.Show(false);
    w.Show(true);  // stopped early: the log still shows where
    bar.SetRange(0, 10);
    bar.SetPos(0);
    bar.StepIt();
  }
  MessageBox(0, "after", "Mgr", kMbOk);
  std::string text = Output();
  EXPECT_NE(text.find("Deleting... [------------------------------]   0% Preparing\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Deleting... [##############################] 100% Preparing\n"), std::string::npos) << text;
  EXPECT_NE(text.find("100% Preparing\nDeleting... [##############################] 100% Preparing\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Deleting... [###---------------------------]  10% Preparing\n\n=== Mgr ==="),
            std::string::npos)
      << text;
}

// A modeless window that takes remote actions: hubplat's press reaches it
// while its thread pumps; a person at a terminal closes it with Enter.
class ModelessWindow : public Dialog {
 public:
  ModelessWindow()
      : Dialog(DialogTemplate{511, "Copying", {{1001, ControlKind::Static, "a.mp3"}, {1000, ControlKind::Progress, ""},
                                               {7, ControlKind::Button, "Stop"}, {8, ControlKind::Button, "Close"}}}) {}
  bool TakesRemoteActions() const override { return takes; }
  int DefaultButton() const override { return 8; }
  bool OnCommand(int id) override {
    pressed.push_back(id);
    return true;
  }
  std::optional<StatusLine> OwnStatusLine() const override {
    return StatusLine{"step " + std::to_string(group) + " at " + std::to_string(Ctl<Progress>(1000).Pos()), group};
  }
  bool takes = true;
  int group = 1;
  std::vector<int> pressed;
};

TEST_F(TerminalTest, ModelessWindowsTakeRemotePressesAndDrawTheirOwnLine) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  UseTerminal(fds[0], true);
  ModelessWindow w;
  w.Create();
  w.Show(true);
  EXPECT_EQ(HandleUiControlRequest("press 7"), "sent: press 7\n");
  ProcessPendingUiWork();
  EXPECT_EQ(w.pressed, std::vector<int>{7});
  w.takes = false;
  EXPECT_EQ(HandleUiControlRequest("press 7"), "error: no dialog is waiting\n");
  w.takes = true;
  // Enter typed on the terminal is the default button; nothing typed is nothing.
  EXPECT_EQ(TheUiDriver().ModelessWaitMs(), -1);
  EXPECT_FALSE(TheUiDriver().PollModelessInput(w));
  ASSERT_EQ(::write(fds[1], "\n", 1), 1);
  auto typed = TheUiDriver().PollModelessInput(w);
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->id, 8);
  ::close(fds[1]);
  ::close(fds[0]);
  // Its own line, one per step in a log, ending where the last step stopped.
  terminal.reset();
  UseTerminal();
  for (int step = 1; step <= 2; ++step) {
    w.group = step;
    for (int pos : {10, 60, 100}) w.Ctl<Progress>(1000).SetPos(pos);
  }
  w.Show(false);
  const std::string text = Output();
  EXPECT_EQ(text, "step 1 at 100\nstep 2 at 100\n") << text;
}

// A 24 MB database's byte offsets times 100 do not fit an int: the bar must
// still read right (it once overflowed into a negative width and threw).
TEST_F(TerminalTest, ProgressOverLargeRangesStaysWithinTheBar) {
  UseTerminal();
  struct Case {
    int min, max, pos;
    const char* expected;
  } cases[] = {
      {0, 25000000, 23900000, " 95% Preparing"},
      {0, INT32_MAX, INT32_MAX - 1, "100% Preparing"},
      {-INT32_MAX, INT32_MAX, 0, " 50% Preparing"},
  };
  for (const Case& c : cases) {
    ProgressWindow w;
    w.Create();
    auto& bar = w.Ctl<Progress>(1002);
    bar.SetRange(c.min, c.max);
    bar.SetStep(1);
    w.Show(true);
    bar.SetPos(c.pos);
    bar.StepIt();
    w.Show(false);
    std::string text = Output();
    EXPECT_NE(text.find(c.expected), std::string::npos) << c.max << "\n" << text;
  }
}

TEST_F(TerminalTest, ControlSocketListsAndAnswersAPendingMessageBox) {
  ::setenv("HUB_UI_WAIT_MS", "10000", 1);
  UseTerminal();
  ::unsetenv("HUB_UI_WAIT_MS");
  UiControlServer server;
  ASSERT_TRUE(server.Ok());
  CommandWindow owner;
  TrayAdd({owner.Handle(), 7, 0x65, 101, "Tip"});

  std::string listing;
  std::thread person([&] {
    // Wait (bounded) until the box is pending, then answer it as hubplat would.
    for (int i = 0; i < 500 && listing.find("message box") == std::string::npos; ++i) {
      listing = SendUiControlRequest(::getpid(), "windows").value_or("");
      if (listing.find("message box") == std::string::npos) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SendUiControlRequest(::getpid(), "answer no");
  });
  int answer = MessageBox(0, "Close the manager?", "Mgr", kMbYesNo);
  person.join();
  EXPECT_EQ(answer, kIdNo);
  EXPECT_NE(listing.find("message box \"Mgr\": \"Close the manager?\" buttons yes* no"), std::string::npos) << listing;

  std::string printed;
  EXPECT_EQ(RunUiVerb({"tray"}, printed), 0);
  EXPECT_NE(printed.find("icon 0x7"), std::string::npos) << printed;
  EXPECT_NE(printed.find("tip \"Tip\""), std::string::npos) << printed;
  EXPECT_EQ(RunUiVerb({"tray", "double"}, printed), 0) << printed;
  EXPECT_EQ(RunUiVerb({"answer", "yes"}, printed), 1);  // nothing waits
  EXPECT_NE(printed.find("no message box is waiting"), std::string::npos) << printed;
  ProcessPendingUiWork();
  EXPECT_EQ(owner.messages, std::vector<uint32_t>{0x65});
  TrayDelete(owner.Handle(), 7);
}

}  // namespace
}  // namespace hub::platform::ui

namespace hub::platform::ui {
namespace {

TEST(DriverChoice, TestsGetTheScriptedDriverSoNothingWaitsForAPerson) {
  std::unique_ptr<UiDriver> previous = SetUiDriver(nullptr);
  EXPECT_STREQ(TheUiDriver().Name(), "scripted");
  EXPECT_THROW(MessageBox(0, "Anyone?", "Cap", kMbOk), UiScriptError);
  ::setenv("HUB_UI_DRIVER", "terminal", 1);
  EXPECT_STREQ(MakeUiDriverFromEnvironment()->Name(), "terminal");
  ::setenv("HUB_UI_DRIVER", "scripted", 1);
  SetUiDriver(std::move(previous));
}

}  // namespace
}  // namespace hub::platform::ui
