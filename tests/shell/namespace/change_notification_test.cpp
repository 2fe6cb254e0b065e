#include "shell/namespace/change_notification.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/shell/change_notify.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/driver.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;

// A data tree whose deletions are recorded in order; a deletion can fail, and
// a folder can be made to contain itself.
class TreeDevice : public test::MemoryDevice {
 public:
  std::vector<std::string> deleted;
  int failAtDelete = -1;
  KernelId loop;  // a folder listed as its own child

  int DeleteDataItem(const KernelId& id) override {
    if (static_cast<int>(deleted.size()) == failAtDelete)
      throw KernelDeviceClientException(0x80004005, "Device", "the delete failed");
    deleted.push_back(GetDataItemName(id));
    return MemoryDevice::DeleteDataItem(id);
  }
  int DataItemOp7120(const KernelId& id) override {
    deleted.push_back("folder " + GetDataItemName(id));
    return 1;
  }
  int GetFirstDataChild(const KernelId& folder, KernelId& child) override {
    if (loop.key[0] && folder == loop) {
      child = loop;
      return 1;
    }
    return MemoryDevice::GetFirstDataChild(folder, child);
  }
  int GetNextDataChild(const KernelId& folder, KernelId& child) override {
    if (loop.key[0] && folder == loop) return 0;
    return MemoryDevice::GetNextDataChild(folder, child);
  }
};

class ChangeNotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    ForgetTopLevelFolderLists();
    previous_ = ui::SetUiDriver(std::make_unique<ui::ScriptedUiDriver>());
    listener_ = AddChangeListener([this](const ChangeNotice& n) { notices_.push_back(n); });
  }
  void TearDown() override {
    RemoveChangeListener(listener_);
    ForgetTopLevelFolderLists();
    BindClient(nullptr);
    ui::SetUiDriver(std::move(previous_));
  }
  int Steps() { return progress_.Bar() ? progress_.Bar()->Pos() : -1; }

  TreeDevice device_;
  std::unique_ptr<ui::UiDriver> previous_;
  std::vector<ChangeNotice> notices_;
  int listener_ = 0;
  CDeleteDialog progress_;
};

TEST_F(ChangeNotificationTest, WalkersDeleteDeepestFirstAndStepPerItem) {
  KernelId top = device_.AddDataFolder(device_.DataRoot(), "Top");
  device_.AddDataFileItem(top, "a.txt", 1);
  KernelId sub = device_.AddDataFolder(top, "Sub");
  device_.AddDataFileItem(sub, "inner.txt", 1);
  device_.AddDataFileItem(top, "b.txt", 1);
  KernelId empty = device_.AddDataFolder(device_.DataRoot(), "Empty");

  progress_.Begin("Deleting", 10);
  DeleteDataFolderTree(empty, progress_);
  EXPECT_EQ(Steps(), 0);
  EXPECT_EQ(device_.deleted, std::vector<std::string>{"folder Empty"});

  device_.deleted.clear();
  DeleteDataFolderTree(top, progress_);
  EXPECT_EQ(Steps(), 4);
  EXPECT_EQ(device_.deleted, (std::vector<std::string>{"a.txt", "inner.txt", "folder Sub", "b.txt", "folder Top"}));
}

TEST_F(ChangeNotificationTest, AFailureEndsTheWalkAndKeepsWhatWasDeleted) {
  KernelId top = device_.AddDataFolder(device_.DataRoot(), "Top");
  device_.AddDataFileItem(top, "a.txt", 1);
  device_.AddDataFileItem(top, "b.txt", 1);
  device_.failAtDelete = 1;
  progress_.Begin("Deleting", 10);
  EXPECT_THROW(DeleteDataFolderTree(top, progress_), KernelDeviceClientException);
  EXPECT_EQ(device_.deleted, std::vector<std::string>{"a.txt"});

  // A folder listed inside itself stops at once instead of exhausting the stack.
  KernelId loop = device_.AddDataFolder(device_.DataRoot(), "Loop");
  device_.loop = loop;
  device_.deleted.clear();
  EXPECT_THROW(DeleteDataFolderTree(loop, progress_), KernelDeviceClientException);
  EXPECT_TRUE(device_.deleted.empty());
}

TEST_F(ChangeNotificationTest, RefreshNamesTheListedTopFoldersOnly) {
  RefreshTreeFolders();
  EXPECT_TRUE(notices_.empty()) << "nothing before the root was listed";

  // The root is listed once with its absolute list (a host item of 4 bytes).
  ShellMalloc malloc;
  OwnedIdList host(AsIdList(malloc.Alloc(6)));
  uint8_t* h = IdListBytes(host.get());
  h[0] = 4, h[1] = 0, h[2] = 'h', h[3] = 'x', h[4] = 0, h[5] = 0;
  device_.AddTrack("A", "B", "T", 1, "G");
  PidlRecordList out;
  bool tried = false;
  BuildListing(out, ListingRequest{nullptr, host.get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS}, tried);

  RefreshTreeFolders();
  ASSERT_EQ(notices_.size(), 10u);
  std::vector<std::string> names;
  for (size_t i = 0; i < notices_.size(); ++i) {
    const ChangeNotice& n = notices_[i];
    EXPECT_EQ(n.event, i % 2 ? SHCNE_MKDIR : SHCNE_RMDIR);
    EXPECT_EQ(n.flags, SHCNF_FLUSH);
    ASSERT_EQ(n.list1.size(), 4u + kPidlRecordSize + 2);  // absolute: the host's item, then the folder
    EXPECT_EQ(n.list1[2], 'h');
    if (i % 2 == 0) names.emplace_back(PidlItem(n.list1.data() + 4, kPidlRecordSize).Name());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Playlists", "Data Files", "Albums", "Artists", "Genres"}));

  // A removed folder is named by its folder's absolute list and itself.
  notices_.clear();
  LPCITEMIDLIST playlist = out.BuildPidl(FolderPlaylist, KernelId(7u), 2, "Road Trip", 0, nullptr, "");
  NotifyFolderRemoved(host.get(), CPidlLast::FromItem(playlist));
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0].event, SHCNE_RMDIR);
  EXPECT_EQ(notices_[0].list1.size(), 4u + kPidlRecordSize + 2);
}

}  // namespace
}  // namespace hub
