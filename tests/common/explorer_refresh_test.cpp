// The Explorer refresh after a connect or disconnect reaches the namespace
// views and folder trees inside Explorer windows, and nothing else.
#include "common/explorer_refresh.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/window/window.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using namespace hub::platform;

struct Seen {
  std::string cls;
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

TEST(ExplorerRefresh, PostsToNamespaceViewsAndTreesInsideExplorerWindowsOnly) {
  std::vector<Seen> seen;
  auto recorder = [&seen](std::string cls) {
    return [&seen, cls](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
      if (m != kWmCreate && m != kWmDestroy) seen.push_back({cls, m, w, l});
      return DefaultWindowProc(h, m, w, l);
    };
  };
  std::vector<std::unique_ptr<ScopedWindowClass>> classes;
  for (const char* cls : {"CabinetWClass", "OtherTop", kNamespaceViewClass, "SysTreeView32"}) {
    classes.push_back(std::make_unique<ScopedWindowClass>(cls, recorder(cls)));
    ASSERT_TRUE(classes.back()->ok());
  }
  WindowHandle explorer = CreateHiddenWindow("CabinetWClass", "");
  WindowHandle other = CreateHiddenWindow("OtherTop", "");
  // Gone, with their children, before the procedures' `seen` is.
  struct Windows {
    std::vector<WindowHandle> tops;
    ~Windows() {
      for (WindowHandle w : tops) DestroyWindow(w);
    }
  } windows{{explorer, other}};
  ASSERT_NE(CreateHiddenWindow(kNamespaceViewClass, "", explorer), 0u);
  ASSERT_NE(CreateHiddenWindow("SysTreeView32", "", explorer), 0u);
  ASSERT_NE(CreateHiddenWindow(kNamespaceViewClass, "", other), 0u);  // not inside Explorer

  RefreshExplorerAfterDisconnect();
  Message msg;
  while (PeekWindowMessage(msg)) DispatchWindowMessage(msg);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].cls, kNamespaceViewClass);
  EXPECT_EQ(seen[0].message, kNamespaceCommandMessage);
  EXPECT_EQ(seen[0].lParam, kNamespaceAfterDisconnect);
  EXPECT_EQ(seen[1].cls, "SysTreeView32");
  EXPECT_EQ(seen[1].message, kWmKeyDown);
  EXPECT_EQ(seen[1].wParam, 0x74u);
  EXPECT_EQ(seen[1].lParam, 0x003F0001);
  EXPECT_EQ(seen[2].message, kWmKeyUp);
  EXPECT_EQ(seen[2].lParam, static_cast<int64_t>(0xC03F0001u));

  // After the library's own changes: the same road with its own command.
  seen.clear();
  RefreshExplorerAfterChange();
  while (PeekWindowMessage(msg)) DispatchWindowMessage(msg);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].lParam, kNamespaceAfterChange);
  EXPECT_EQ(seen[1].message, kWmKeyDown);
  EXPECT_EQ(seen[2].message, kWmKeyUp);
}

}  // namespace
}  // namespace hub
