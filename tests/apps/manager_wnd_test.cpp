// The main window in this process: a message that arrives while a request is
// being served (a nested loop) waits until that request has returned, and a
// message whose request number is not the block's is never served.
#include "manager/app/manager_wnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/kdp_sequence.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "manager/app/manager_app.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "support/hermetic_env.h"
#include "testdevice/null_device.h"

namespace hub {
namespace {

using namespace hub::platform;

std::vector<std::string> events;

// Serving a request runs a nested loop, as a connect with its progress does.
class NestingDevice : public test::NullDevice {
 public:
  using NullDevice::NullDevice;
  void DispatchRequest(KdpBlock& block) override {
    events.push_back("begin " + std::to_string(block.opcode));
    if (block.opcode == 500 && nest) {
      nest = false;
      const uint32_t next = NextKdpSequence(block);
      PostWindowMessage(window, kKdpRequestMessage, next, 0);  // a second, stale request message
      PostWindowMessage(window, kWmCommand, 502, 0);           // the tray's Disconnect
      for (int i = 0; i < 5; ++i) PumpMessages();
    }
    events.push_back("end " + std::to_string(block.opcode));
  }
  void Disconnect() override { events.push_back("disconnect"); }
  int IsConnected() override { return 1; }
  bool nest = true;
  WindowHandle window = 0;
};

class NestingDriver : public KernelDriver {
 public:
  NestingDriver() : KernelDriver("test") {}
  std::string GetName() override { return {}; }
  int Initialize() override { return 1; }
  KernelDevice* CreateDevice(const KernelId& a, const KernelId& b) override {
    return Adopt(std::make_unique<NestingDevice>(this, a, b));
  }
  int IsAvailable() override { return 1; }
  int CheckDevice(const KernelId&) override { return 1; }
};

TEST(ManagerWindow, NestedRequestsAndTrayCommandsWaitForTheRequestBeingServed) {
  SelectProduct("irivmgr", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  WriteSettingDword("Vad_InstallResult", kInstallDeviceSupport | kInstallDeviceAndServer);
  WriteSettingDword("KW_Disable", 1);
  // The window and its class are the process's: both go with the test, so that
  // the managers later tests start find no earlier instance in this process.
  struct LeaveNoInstance {
    ~LeaveNoInstance() {
      const std::string& name = TheProductProfile().windowClassName;
      if (WindowHandle left = FindWindowByClass(name)) DestroyWindow(left);
      UnregisterWindowClass(name);
    }
  } leaveNoInstance;
  ASSERT_EQ(ActivatePreviousInstance(TheProductProfile().windowClassName, &KestroManagerWnd::ClassProc), 1);
  KestroManagerWnd window([] { return std::make_unique<NestingDriver>(); });
  ASSERT_TRUE(window.Serving());
  ASSERT_TRUE(window.Create());
  auto* device = static_cast<NestingDevice*>(window.Device());
  ASSERT_NE(device, nullptr);
  device->window = window.Handle();
  // A right-click on the icon (menu dismissed) makes tray commands act on the device.
  platform::ui::ScopedUiDriver<> ui;
  ui->Push(platform::ui::UiAction::ChooseMenu(0));
  ASSERT_TRUE(PostWindowMessage(window.Handle(), kTrayCallbackMessage, kTrayIconId, platform::ui::kWmRButtonDown));
  for (int i = 0; i < 5; ++i) PumpMessages();

  auto mapping = SharedMapping::Open(TheProductProfile().mappingName);
  ASSERT_NE(mapping, nullptr);
  auto& block = *static_cast<KdpBlock*>(mapping->data());
  block.selector = 10;
  block.opcode = 500;
  const uint32_t sequence = NextKdpSequence(block);
  WriteKdpSequence(block, sequence);
  ASSERT_TRUE(PostWindowMessage(window.Handle(), kKdpRequestMessage, sequence, 0));
  for (int i = 0; i < 20; ++i) PumpMessages();

  // The stale message (its number was never the block's) ran nothing; the
  // Disconnect ran after the request, not inside it.
  EXPECT_EQ(events, (std::vector<std::string>{"begin 500", "end 500", "disconnect"}));
  EXPECT_TRUE(IsKdpAnswered(block, sequence));

  // A repeated message for the answered request is not served again.
  events.clear();
  ASSERT_TRUE(PostWindowMessage(window.Handle(), kKdpRequestMessage, sequence, 0));
  for (int i = 0; i < 5; ++i) PumpMessages();
  EXPECT_TRUE(events.empty());
}

// The plug-in of the jukebox builds writes its device number, 0, as the
// selector: the manager started under its product's name serves it through
// the shared block; the iRiver manager acknowledges it without running it.
TEST(ManagerWindow, ServesTheSelectorsOfItsOwnProductsLibraries) {
  const struct {
    const char* manager;
    uint32_t selector;
    bool served;
  } cases[] = {{"kestmgr", 0, true}, {"kestmgr", 10, true}, {"kestmgr", 7, false}, {"irivmgr", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.manager) + " selector " + std::to_string(c.selector));
    SelectProduct(c.manager, TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    WriteSettingDword("Vad_InstallResult", kInstallDeviceSupport | kInstallDeviceAndServer);
    WriteSettingDword("KW_Disable", 1);
    struct LeaveNoInstance {
      ~LeaveNoInstance() {
        const std::string& name = TheProductProfile().windowClassName;
        if (WindowHandle left = FindWindowByClass(name)) DestroyWindow(left);
        UnregisterWindowClass(name);
      }
    } leaveNoInstance;
    ASSERT_EQ(ActivatePreviousInstance(TheProductProfile().windowClassName, &KestroManagerWnd::ClassProc), 1);
    KestroManagerWnd window([] { return std::make_unique<NestingDriver>(); });
    ASSERT_TRUE(window.Serving());
    ASSERT_TRUE(window.Create());
    auto* device = static_cast<NestingDevice*>(window.Device());
    ASSERT_NE(device, nullptr);
    device->nest = false;

    auto mapping = SharedMapping::Open(TheProductProfile().mappingName);
    ASSERT_NE(mapping, nullptr);
    auto& block = *static_cast<KdpBlock*>(mapping->data());
    block.selector = c.selector;
    block.idA = KernelId(4);
    block.idB = KernelId(1);
    block.opcode = 500;
    const uint32_t sequence = NextKdpSequence(block);
    WriteKdpSequence(block, sequence);
    events.clear();
    ASSERT_TRUE(PostWindowMessage(window.Handle(), kKdpRequestMessage, sequence, 0));
    for (int i = 0; i < 10 && !IsKdpAnswered(block, sequence); ++i) PumpMessages();
    EXPECT_TRUE(IsKdpAnswered(block, sequence)) << "answered either way";
    const std::vector<std::string> served{"begin 500", "end 500"};
    EXPECT_EQ(events, c.served ? served : std::vector<std::string>());
  }
}

}  // namespace
}  // namespace hub
