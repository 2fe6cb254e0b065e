// The drag loop: steps from the UI driver, targets in this process called
// directly, targets in another process reached through their helper window
// (and hubplat's drop, which plays a file manager's drag).
#include "platform/shell/drag_drop.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

using test::ChildProcess;

class RecordingTarget final : public IDropTarget {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  HRESULT DragEnter(IDataObject* data, uint32_t keys, ShellPoint, uint32_t* effect) override {
    calls.push_back("enter " + std::to_string(keys));
    *effect = OffersFormat(data, CF_HDROP) ? answer & *effect : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT DragOver(uint32_t keys, ShellPoint point, uint32_t* effect) override {
    calls.push_back("over " + std::to_string(keys) + " " + std::to_string(point.y));
    *effect &= answer;
    return S_OK;
  }
  HRESULT DragLeave() override {
    calls.push_back("leave");
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) override {
    auto bytes = TakeFormatBytes(data, CF_HDROP);
    calls.push_back("drop " + std::to_string(bytes ? bytes->size() : 0));
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  uint32_t refs = 1;
  uint32_t answer = DROPEFFECT_COPY;
  std::vector<std::string> calls;
};

class DragDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto d = std::make_unique<ui::ScriptedUiDriver>();
    driver_ = d.get();
    previous_ = ui::SetUiDriver(std::move(d));
    window_ = CreateHiddenWindow(cls_.ok() ? "HubDragTestWindow" : "", "target");
    ASSERT_NE(window_, 0u);
    data_ = ComPtr<IDataObject>(CreateStoredDataObject({{CF_HDROP, BuildDropFiles({"/a.mp3"})}}));
    source_ = ComPtr<IDropSource>(CreateSimpleDropSource());
  }
  void TearDown() override {
    DestroyWindow(window_);
    ui::SetUiDriver(std::move(previous_));
  }
  HRESULT Drag(std::initializer_list<ui::DragStep> steps, uint32_t* effect) {
    driver_->PushDragSteps(steps);
    return DoDragDrop(data_.get(), source_.get(), DROPEFFECT_COPY | DROPEFFECT_LINK, effect);
  }

  ScopedWindowClass cls_{"HubDragTestWindow", [](WindowHandle h, uint32_t m, uint64_t w, int64_t l) {
                           return DefaultWindowProc(h, m, w, l);
                         }};
  ui::ScriptedUiDriver* driver_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  WindowHandle window_ = 0;
  ComPtr<IDataObject> data_;
  ComPtr<IDropSource> source_;
};

TEST_F(DragDropTest, RegistrationKeepsTheTargetUntilRevoked) {
  RecordingTarget t;
  EXPECT_EQ(RegisterDragDrop(window_, &t), S_OK);
  EXPECT_EQ(t.refs, 2u);
  EXPECT_EQ(RegisterDragDrop(window_, &t), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_NE(FindChildWindowByClass(window_, kDropTargetHelperClass), 0u);
  EXPECT_EQ(RevokeDragDrop(window_), S_OK);
  EXPECT_EQ(t.refs, 1u);
  EXPECT_EQ(RevokeDragDrop(window_), DRAGDROP_E_NOTREGISTERED);
  EXPECT_EQ(FindChildWindowByClass(window_, kDropTargetHelperClass), 0u);
  EXPECT_EQ(RegisterDragDrop(0x7FFFFFF1, &t), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RegisterDragDrop(window_, nullptr), E_INVALIDARG);
}

TEST_F(DragDropTest, StepsDriveTheTargetInThisProcess) {
  RecordingTarget t;
  ASSERT_EQ(RegisterDragDrop(window_, &t), S_OK);
  struct Case {
    const char* what;
    std::vector<ui::DragStep> steps;
    uint32_t answer;
    HRESULT result;
    uint32_t effect;
    std::vector<std::string> calls;
  } cases[] = {
      {"a drop", {ui::DragStep::Over(window_, {1, 5}), ui::DragStep::Over(window_, {1, 9}), ui::DragStep::Release()},
       DROPEFFECT_COPY, DRAGDROP_S_DROP, DROPEFFECT_COPY, {"enter 1", "over 1 9", "drop 28"}},
      {"Escape", {ui::DragStep::Over(window_), ui::DragStep::Escape()}, DROPEFFECT_COPY, DRAGDROP_S_CANCEL,
       DROPEFFECT_NONE, {"enter 1", "leave"}},
      {"a refusing target", {ui::DragStep::Over(window_), ui::DragStep::Release()}, DROPEFFECT_NONE,
       DRAGDROP_S_CANCEL, DROPEFFECT_NONE, {"enter 1", "leave"}},
      {"the middle button", {ui::DragStep::Over(window_), ui::DragStep::Keys(MK_LBUTTON | MK_MBUTTON), ui::DragStep::Release()},
       DROPEFFECT_COPY, DRAGDROP_S_DROP, DROPEFFECT_COPY, {"enter 1", "over 17 0", "drop 28"}},
      {"nowhere", {ui::DragStep::Over(0), ui::DragStep::Release()}, DROPEFFECT_COPY, DRAGDROP_S_CANCEL,
       DROPEFFECT_NONE, {}},
  };
  for (const auto& c : cases) {
    t.calls.clear();
    t.answer = c.answer;
    driver_->PushDragSteps(c.steps);
    uint32_t effect = 99;
    EXPECT_EQ(DoDragDrop(data_.get(), source_.get(), DROPEFFECT_COPY | DROPEFFECT_LINK, &effect), c.result) << c.what;
    EXPECT_EQ(effect, c.effect) << c.what;
    EXPECT_EQ(t.calls, c.calls) << c.what;
  }
  // A script that ends in the middle of a drag fails the test instead of blocking.
  driver_->PushDragSteps({ui::DragStep::Over(window_)});
  uint32_t effect = 0;
  EXPECT_THROW(DoDragDrop(data_.get(), source_.get(), DROPEFFECT_COPY, &effect), ui::UiScriptError);
  RevokeDragDrop(window_);
}

// Reads the peer's lines until one starts with `prefix`.
std::string LineStarting(ChildProcess& p, const std::string& prefix) {
  while (auto line = p.ReadLine(10000))
    if (line->rfind(prefix, 0) == 0) return *line;
  return "<none>";
}

WindowHandle StartTargetPeer(ChildProcess& p) {
  std::string ready = LineStarting(p, "ready ");
  return ready == "<none>" ? 0 : static_cast<WindowHandle>(std::stoul(ready.substr(6), nullptr, 16));
}

TEST_F(DragDropTest, AWindowOfAnotherProcessGetsTheFormatsAndTheRenderedBytes) {
  ChildProcess peer({WINDOW_PEER_PATH, "drop-target", "HubPeerDropTarget"});
  WindowHandle target = StartTargetPeer(peer);
  ASSERT_NE(target, 0u);
  uint16_t custom = RegisterClipboardFormatName("HubDragTestCustom");
  data_ = ComPtr<IDataObject>(
      CreateStoredDataObject({{CF_HDROP, BuildDropFiles({"/a b.mp3", "/c.flac"})}, {custom, {1, 2}}}));
  uint32_t effect = 0;
  EXPECT_EQ(Drag({ui::DragStep::Over(target), ui::DragStep::Over(target), ui::DragStep::Release()}, &effect),
            DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  EXPECT_EQ(LineStarting(peer, "enter"), "enter 15 " + std::to_string(custom));
  EXPECT_EQ(LineStarting(peer, "over"), "over 1");
  EXPECT_EQ(LineStarting(peer, "drop"), "drop /a b.mp3 /c.flac");
  EXPECT_TRUE(std::filesystem::is_empty(RuntimeDir() + "/dragdrop")) << "the drag's folder is removed";

  // Escape over it: leave, and nothing dropped.
  EXPECT_EQ(Drag({ui::DragStep::Over(target), ui::DragStep::Escape()}, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(LineStarting(peer, "leave"), "leave");

  // hubplat drops files as a file manager would.
  std::string dir = test::MakeTempDir("drop");
  std::ofstream(dir + "/song é.mp3") << "x";
  ChildProcess hubplat({HUBPLAT_PATH, "drop", "HubPeerDropTarget", dir + "/song é.mp3"});
  EXPECT_EQ(hubplat.ReadLine(20000), std::string("dropped 1 file: copy"));
  EXPECT_EQ(LineStarting(peer, "drop"), "drop " + dir + "/song é.mp3");
  auto status = hubplat.Wait(10000);
  ASSERT_TRUE(status && WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  PostWindowMessage(target, kWmUser, 0, 0);
  peer.Wait(10000);
}

}  // namespace
}  // namespace hub::platform
