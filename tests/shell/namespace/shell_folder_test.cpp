#include "shell/namespace/shell_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/ui/driver.h"
#include "shell/namespace/enum_id_list.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;

std::string Narrow(const char16_t* w) {
  std::string s;
  for (; w && *w; ++w) s += static_cast<char>(*w);
  return s;
}

int16_t Order(HRESULT hr) { return static_cast<int16_t>(hr & 0xFFFF); }

class ShellFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    blocksBefore_ = ShellBlocksOutstanding();
    root_ = new CShellFolder(nullptr, nullptr);
  }
  void TearDown() override {
    root_->Release();
    records_.reset();
    ForgetTopLevelFolderLists();
    BindClient(nullptr);
    SetShellAllocFailureHook({});
    EXPECT_EQ(ShellBlocksOutstanding(), blocksBefore_) << "a shell block leaked";
  }

  LPCITEMIDLIST Item(uint32_t kind, uint32_t key, uint32_t position, std::string_view name, std::string_view text = "") {
    return records_->BuildPidl(kind, KernelId(key), position, name, 0, nullptr, text);
  }
  HRESULT Compare(LPCITEMIDLIST a, LPCITEMIDLIST b, int64_t param = 0) { return root_->CompareIDs(param, a, b); }
  std::string Display(LPCITEMIDLIST item, uint32_t flags, HRESULT* result = nullptr) {
    STRRET name;
    HRESULT hr = root_->GetDisplayNameOf(item, flags, &name);
    if (result) *result = hr;
    if (hr != S_OK) return {};
    std::string s = Narrow(name.pOleStr);
    ShellAllocator().Free(name.pOleStr);
    return s;
  }

  test::MemoryDevice device_;
  CShellFolder* root_ = nullptr;
  size_t blocksBefore_ = 0;
  std::optional<PidlRecordList> records_{std::in_place};
};

TEST_F(ShellFolderTest, AttributesByKind) {
  struct Case {
    uint32_t kind;
    uint32_t in;
    uint32_t out;
  };
  const Case cases[] = {
      {FolderSpare, 0, 0xA9000000u},       {FolderTrackList, 0xFFFFFFFFu, 0x29000100u},
      {FolderFmTuner, 0, 0x29000000u},     {FolderCategory, 0, 0xA9000100u},
      {FolderData, 0, 0xA9000100u},        {ItemTrack, 0xFFFFFFFFu, 0x01000000u},
      {ItemMessageLine, 0, 0x01000000u},   {FolderUtilities, 0x1u, 0x29000000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    LPCITEMIDLIST item = Item(c.kind, 1, 1, "x");
    uint32_t flags = c.in;
    EXPECT_EQ(root_->GetAttributesOf(1, &item, &flags), S_OK);
    EXPECT_EQ(flags, c.out);
  }
  uint32_t flags = 0;
  EXPECT_EQ(root_->GetAttributesOf(0, nullptr, &flags), S_OK);
  EXPECT_EQ(flags, 0xA9000000u);
  // An item we cannot read: folder bits added, still S_OK.
  uint8_t junk[8] = {6, 0, 'j', 'u', 'n', 'k', 0, 0};
  void* block = ShellAllocator().Alloc(sizeof junk);
  std::memcpy(block, junk, sizeof junk);
  LPCITEMIDLIST bad = AsIdList(block);
  EXPECT_EQ(root_->GetAttributesOf(1, &bad, &flags), S_OK);
  EXPECT_EQ(flags, 0xA9000000u);
  ShellAllocator().Free(block);
}

TEST_F(ShellFolderTest, CompareRulesAndAnOrderOverAllPairs) {
  LPCITEMIDLIST pinned = Item(ItemCommandLink, 2056, 9, "pinned");
  LPCITEMIDLIST open = Item(ItemCommandLink, 2099, 0, "Open");
  LPCITEMIDLIST folderA = Item(FolderData, 11, 3, "docs");
  LPCITEMIDLIST folderB = Item(FolderData, 12, 4, "Docs");
  LPCITEMIDLIST folderC = Item(FolderData, 13, 5, "docs");  // the same name as A, another id
  LPCITEMIDLIST file = Item(ItemDataFile, 14, 1, "a.txt");
  LPCITEMIDLIST fileUpper = Item(ItemDataFile, 15, 2, "A.TXT");
  LPCITEMIDLIST p1 = Item(FolderPlaylist, 16, 6, "Mix");
  LPCITEMIDLIST p2 = Item(FolderPlaylist, 17, 7, "Mix");
  LPCITEMIDLIST line1 = Item(ItemInfoLine, 0, 2, "Model", "one");
  LPCITEMIDLIST line2 = Item(ItemInfoLine, 0, 2, "Model", "two");  // alike but for the text
  EXPECT_EQ(Order(Compare(pinned, folderA)), -1);
  EXPECT_EQ(Order(Compare(folderA, pinned)), 1);
  EXPECT_EQ(Order(Compare(file, folderA)), 1);  // folders before their files, whatever the names
  EXPECT_EQ(Order(Compare(file, fileUpper)), 0);
  EXPECT_EQ(Order(Compare(folderA, folderB)), 0);  // names differing only in case
  EXPECT_EQ(Order(Compare(open, line1)), 1);
  EXPECT_EQ(Order(Compare(p1, p2)), 0);
  // Ties the rules leave open are broken, so both orders disagree.
  EXPECT_EQ(Order(Compare(folderA, folderC)), -Order(Compare(folderC, folderA)));
  EXPECT_NE(Order(Compare(line1, line2)), 0);
  EXPECT_EQ(Order(Compare(line1, line2)), -Order(Compare(line2, line1)));
  // The result is in the code field of a successful result.
  EXPECT_EQ(Compare(pinned, folderA), static_cast<HRESULT>(0xFFFF));

  // Every pair of a listing: antisymmetric.
  KernelId a = device_.AddTrack("Aurora Tide", "Northern Lights", "Polar Drift", 2);
  KernelId b = device_.AddTrack("Aurora Tide", "Northern Lights", "First Light", 1);
  std::vector<LPCITEMIDLIST> all = {pinned, open, folderA, folderB, folderC, file, fileUpper, p1, p2, line1, line2,
                                    records_->BuildPidl(ItemTrack, a, 1, "", 0, nullptr, ""),
                                    records_->BuildPidl(ItemTrack, b, 2, "", 0, nullptr, ""),
                                    Item(ItemNote, 20, 1, "n"), Item(FolderNotes, 21, 2, "N")};
  for (int64_t param : {0, 3, 120}) {
    for (LPCITEMIDLIST x : all) {
      for (LPCITEMIDLIST y : all) {
        int16_t xy = Order(Compare(x, y, param)), yx = Order(Compare(y, x, param));
        EXPECT_EQ(xy, -yx) << PidlItem(x).Name() << " / " << PidlItem(y).Name() << " param " << param;
        EXPECT_EQ(Compare(x, y, param) & 0xFFFF0000, 0) << "a failed result";
      }
    }
  }
}

TEST_F(ShellFolderTest, DisplayNames) {
  LPCITEMIDLIST playlist = Item(FolderPlaylist, 5, 1, "Road Trip");
  LPCITEMIDLIST artist = Item(FolderCategory, 5, 1, "Aurora Tide");
  LPCITEMIDLIST all = Item(FolderTrackList, kTrackListArtist, 1, "[ All: Aurora Tide ]");
  struct Case {
    LPCITEMIDLIST item;
    uint32_t flags;
    const char* name;
  };
  const Case cases[] = {
      {playlist, 0, "Tarveld Explorer\\Playlists\\Road Trip"},
      {playlist, 1, "Road Trip"},
      {playlist, 0x8001, "Road Trip"},
      {playlist, 0x4000, "Tarveld Explorer\\Playlists\\Road Trip"},
      {artist, 0xC000, "Tarveld Explorer\\Artists\\Aurora Tide"},
      {all, 0, "Tarveld Explorer\\Artists\\[ All: Aurora Tide ]"},
  };
  for (const Case& c : cases) EXPECT_EQ(Display(c.item, c.flags), c.name) << c.flags;
  HRESULT hr = S_OK;
  Display(playlist, 0x0002, &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  Display(playlist, 0x1000, &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  // The data root has no prefix; a folder below it has.
  LPCITEMIDLIST dataRoot = records_->BuildPidl(FolderData, device_.DataRoot(), 1, "Data Files", 0, nullptr, "");
  KernelId sub = device_.AddDataFolder(device_.DataRoot(), "Sub");
  LPCITEMIDLIST dataSub = records_->BuildPidl(FolderData, sub, 1, "Sub", 0, nullptr, "");
  EXPECT_EQ(Display(dataRoot, 0), "Tarveld Explorer\\Data Files");
  EXPECT_EQ(Display(dataSub, 0), "Tarveld Explorer\\Data Files\\Sub");
}

TEST_F(ShellFolderTest, BindAndEnumerate) {
  device_.AddPlaylist("Road Trip");
  OwnedIdList host(AsIdList(ShellAllocator().Alloc(6)));
  uint8_t* h = IdListBytes(host.get());
  h[0] = 4, h[1] = 0, h[2] = 'h', h[3] = 'x', h[4] = 0, h[5] = 0;
  ASSERT_EQ(root_->Initialize(host.get()), S_OK);

  ComPtr<IEnumIDList> list;
  ASSERT_EQ(root_->EnumObjects(0, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, list.Put()), S_OK);
  LPITEMIDLIST items[64] = {};
  uint32_t got = 0;
  EXPECT_EQ(list->Next(2, items, nullptr), E_INVALIDARG);
  EXPECT_EQ(list->Next(64, items, &got), S_FALSE);
  ASSERT_GT(got, 3u);
  LPCITEMIDLIST playlists = nullptr;
  for (uint32_t i = 0; i < got; ++i)
    if (PidlItem(items[i]).Name() == "Playlists") playlists = items[i];
  ASSERT_NE(playlists, nullptr);
  // The child gets the joined absolute list and lists the playlist.
  ComPtr<IShellFolder> child;
  ASSERT_EQ(root_->BindToObject(playlists, nullptr, IID_IShellFolder, child.Out()), S_OK);
  auto* folder = static_cast<CShellFolder*>(child.get());
  EXPECT_EQ(GetIdListSize(folder->AbsoluteIds()), 4u + kPidlRecordSize + 2);
  ComPtr<IEnumIDList> inner;
  ASSERT_EQ(child->EnumObjects(0, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, inner.Put()), S_OK);
  LPITEMIDLIST rows[4] = {};
  uint32_t n = 0;
  inner->Next(4, rows, &n);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(PidlItem(rows[0]).Name(), "[ Playlist Index ]");
  EXPECT_EQ(PidlItem(rows[1]).Name(), "Road Trip");
  for (uint32_t i = 0; i < n; ++i) ShellAllocator().Free(rows[i]);

  // Skip, Reset, Clone; a copy that cannot be made ends Next with the count so far.
  EXPECT_EQ(list->Reset(), S_OK);
  EXPECT_EQ(list->Skip(got), S_OK);
  EXPECT_EQ(list->Skip(1), S_FALSE);
  EXPECT_EQ(list->Reset(), S_OK);
  ComPtr<IEnumIDList> clone;
  EXPECT_EQ(list->Clone(clone.Put()), E_NOTIMPL);
  int allowed = 1;
  SetShellAllocFailureHook([&](size_t) { return allowed-- <= 0; });
  LPITEMIDLIST two[2] = {};
  uint32_t fetched = 9;
  EXPECT_EQ(list->Next(2, two, &fetched), E_OUTOFMEMORY);
  EXPECT_EQ(fetched, 1u);
  SetShellAllocFailureHook({});
  ShellAllocator().Free(two[0]);
  for (uint32_t i = 0; i < got; ++i) ShellAllocator().Free(items[i]);

  // The view's hand-over: the records Next has not given out leave the
  // enumerator as they are (the same records, not copies), the ones before
  // them are freed, and the enumerator is then at its end, after Reset too.
  ComPtr<CEnumIDList> listing = root_->ListContent(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->size(), got);
  std::vector<LPCITEMIDLIST> built;
  for (size_t i = 0; i < listing->size(); ++i) built.push_back((*listing.get())[i]);
  std::string lastName(PidlItem(built.back()).Name());
  LPITEMIDLIST first = nullptr;
  ASSERT_EQ(listing->Next(1, &first, nullptr), S_OK);
  EXPECT_NE(first, built[0]) << "Next hands out a copy";
  ShellAllocator().Free(first);
  size_t blocks = ShellBlocksOutstanding();
  std::vector<LPITEMIDLIST> taken = listing->TakeRemaining();
  ASSERT_EQ(taken.size(), got - 1);
  for (size_t i = 0; i < taken.size(); ++i) EXPECT_EQ(taken[i], built[i + 1]);
  EXPECT_EQ(ShellBlocksOutstanding(), blocks - 1) << "the record Next had copied is freed";
  LPITEMIDLIST none = nullptr;
  EXPECT_EQ(listing->Next(1, &none, nullptr), S_FALSE);
  EXPECT_EQ(listing->Reset(), S_OK);
  EXPECT_EQ(listing->Next(1, &none, nullptr), S_FALSE);
  EXPECT_TRUE(listing->TakeRemaining().empty());
  listing.Reset();
  EXPECT_EQ(PidlItem(taken.back()).Name(), lastName) << "the caller's records outlive the enumerator";
  for (LPITEMIDLIST t : taken) ShellAllocator().Free(t);

  // Objects the folder cannot make, and a call without items.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(root_->GetUIObjectOf(0, 0, nullptr, IID_IExtractIconA, nullptr, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  // The folder's own drop target (the root's has no list).
  ASSERT_EQ(root_->CreateViewObject(0, IID_IDropTarget, &out), S_OK);
  EXPECT_EQ(static_cast<IDropTarget*>(out)->Release(), 0u);
  EXPECT_EQ(root_->CreateViewObject(0, IID_IPersist, &out), E_NOTIMPL);
  // A view is made for the folder; the caller holds its only reference.
  ASSERT_EQ(root_->CreateViewObject(0, IID_IShellView, &out), S_OK);
  EXPECT_EQ(static_cast<IShellView*>(out)->Release(), 0u);
}

}  // namespace
}  // namespace hub
