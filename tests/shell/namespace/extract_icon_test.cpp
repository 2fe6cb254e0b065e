// Item icons: the fixed images, the file-type images and their cache.
#include "shell/namespace/extract_icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "common/product_profile.h"
#include "platform/com/shell_allocator.h"
#include "platform/shell/file_info.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;

struct ItemSpec {
  uint32_t kind = ItemTrack;
  uint32_t key = 0;
  std::string name = "x";
  uint32_t itemClass = kPidlClassOther;
  uint8_t fileType = 0;
  uint8_t locked = 0;
};

// One record of the namespace in a block of the shell allocator.
OwnedIdList MakeItem(const ItemSpec& s) {
  std::vector<uint8_t> b(kPidlBlockSize, 0);
  WriteLittleEndian16(b.data(), kPidlRecordSize);
  std::memcpy(b.data() + pidl_offset::kMagic, kPidlMagic, 4);
  WriteLittleEndian32(b.data() + pidl_offset::kKind, s.kind);
  WriteLittleEndian32(b.data() + pidl_offset::kId, s.key);
  WriteLittleEndian32(b.data() + pidl_offset::kClass, s.itemClass);
  std::memcpy(b.data() + pidl_offset::kName, s.name.c_str(), s.name.size() + 1);
  b[pidl_offset::kTrack + offsetof(_AUDIODATA, locked)] = s.locked;
  b[pidl_offset::kTrack + offsetof(_AUDIODATA, fileType)] = s.fileType;
  void* block = ShellAllocator().Alloc(b.size());
  std::memcpy(block, b.data(), b.size());
  return OwnedIdList(AsIdList(block));
}

class FailingRootDevice : public test::MemoryDevice {
 public:
  int GetDataRoot(KernelId&) override { throw KernelDeviceClientException(7015, "Device Timeout", "no answer"); }
};

class ExtractIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TheProductProfile().moduleInstance.path = "/opt/quorral/irivshell.so";
    BindClient(&device_);
  }
  void TearDown() override { BindClient(nullptr); }

  struct Location {
    HRESULT hr = E_FAIL;
    int32_t index = -7;
    uint32_t flags = 0;
  };
  Location Locate(const ItemSpec& spec) {
    OwnedIdList item = MakeItem(spec);
    auto* icon = new CExtractIcon(item.get(), icons_);
    Location l;
    char file[260];
    l.hr = icon->GetIconLocation(0, file, sizeof file, &l.index, &l.flags);
    icon->Release();
    return l;
  }

  test::MemoryDevice device_;
  ItemIcons icons_;
};

TEST_F(ExtractIconTest, FixedImages) {
  struct Case {
    uint32_t kind;
    uint32_t key;
    int index;
  };
  const Case cases[] = {
      {FolderSegment, 0, 6},        {FolderSegment, 1, 6},         {FolderSegment, 40, 6},
      {FolderFmTuner, 0, 8},        {ItemFmPreset, 3, 8},          {FolderTrackList, 3, 11},
      {FolderTrackList, 4, 12},     {FolderTrackList, 5, 14},      {FolderTrackList, 7, 16},
      {FolderTrackList, 1, 9},      {FolderTrackList, 8, 9},       {FolderCategory, 5, 14},
      {FolderCategory, 1, 13},      {FolderCategory, 4, 16},       {FolderPlaylist, 9, 17},
      {FolderDeviceInfo, 0, 22},    {ItemInfoLine, 0, 22},         {FolderData, test::kDataRootKind, 10},
      {FolderData, test::kDataFolderKind, 23},                     {FolderNotes, 0, 32},
      {ItemNote, 0, 32},            {FolderContacts, 0, 31},       {ItemContact, 0, 31},
      {FolderUtilities, 0, 35},     {ItemUtility, 5010, 35},       {ItemMessageHead, 1028, 18},
      {ItemMessageHead, 7, 25},     {ItemNotice, 0, 20},           {0x2009, 0, 20},
      {ItemLink, 0, 24},            {ItemCommandLink, 2055, 11},   {ItemCommandLink, 2056, 11},
      {ItemCommandLink, 2071, 13},  {ItemCommandLink, 2072, 13},   {ItemCommandLink, 2081, 30},
      {ItemCommandLink, 2082, 30},  {ItemCommandLink, 2083, 31},   {ItemCommandLink, 2084, 32},
      {ItemCommandLink, 3011, 10},  {ItemCommandLink, 2099, 26},   {ItemCommandLink, 0, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.kind << " key " << std::dec << c.key);
    Location l = Locate({c.kind, c.key});
    EXPECT_EQ(l.hr, S_OK);
    EXPECT_EQ(l.index, c.index);
    EXPECT_EQ(l.flags, GIL_NOTFILENAME);
  }
  EXPECT_EQ(icons_.SmallCount(), kItemImageCount);
  EXPECT_EQ(icons_.ImageName(18), "locked");
  EXPECT_EQ(icons_.ImageName(27), "aac track");

  FailingRootDevice failing;
  BindClient(&failing);
  EXPECT_EQ(Locate({FolderData, test::kDataRootKind}).index, 31);
}

TEST_F(ExtractIconTest, SpecialItems) {
  // A message line succeeds and leaves the index alone.
  Location line = Locate({ItemMessageLine, 0});
  EXPECT_EQ(line.hr, S_OK);
  EXPECT_EQ(line.index, -7);
  // Kind 0xFFFF and unreadable lists.
  OwnedIdList none = MakeItem({});
  WriteLittleEndian32(IdListBytes(none.get()) + pidl_offset::kKind, 0xFFFF);
  for (LPCITEMIDLIST ids : {static_cast<LPCITEMIDLIST>(none.get()), static_cast<LPCITEMIDLIST>(nullptr)}) {
    auto* icon = new CExtractIcon(ids, icons_);
    int32_t index = -7;
    uint32_t flags = 0;
    char file[16];
    EXPECT_EQ(icon->GetIconLocation(0, file, sizeof file, &index, &flags), S_FALSE);
    ShellIcon large = 0;
    EXPECT_EQ(icon->Extract(file, 0, &large, nullptr, 0), S_FALSE);
    EXPECT_EQ(large, 0u);
    EXPECT_EQ(index, -7);
    icon->Release();
  }
  // The module file name is cut to the buffer and terminated.
  OwnedIdList item = MakeItem({FolderPlaylist, 1});
  auto* icon = new CExtractIcon(item.get(), icons_);
  char small[5];
  std::memset(small, 'z', sizeof small);
  int32_t index = 0;
  EXPECT_EQ(icon->GetIconLocation(0, small, sizeof small, &index, nullptr), S_OK);
  EXPECT_STREQ(small, "/opt");
  IExtractIconA* again = nullptr;
  EXPECT_EQ(icon->QueryInterface(IID_IExtractIconA, reinterpret_cast<void**>(&again)), S_OK);
  void* other = &index;
  EXPECT_EQ(icon->QueryInterface(IID_IShellFolder, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  again->Release();
  icon->Release();
}

TEST_F(ExtractIconTest, FileTypeImagesAreCachedPerExtension) {
  device_.tagSearch = 0;
  uint64_t lookups = FileTypeLookups();
  Location a = Locate({ItemTrack, 1, "a.mp3", kPidlClassTrack});
  Location b = Locate({ItemTrack, 2, "b.MP3", kPidlClassTrack});
  Location entry = Locate({ItemPlaylistEntry, 1, "a.mp3", kPidlClassTrack});
  EXPECT_EQ(FileTypeLookups(), lookups + 6);  // two per new key
  EXPECT_EQ(a.index, 36);
  EXPECT_EQ(b.index, 37);
  EXPECT_EQ(entry.index, 38);
  EXPECT_EQ(a.flags, GIL_NOTFILENAME | GIL_SIMULATEDOC);
  EXPECT_EQ(icons_.Cached(".mp3"), 36);
  EXPECT_EQ(icons_.Cached(".MP3"), 37);
  EXPECT_EQ(icons_.Cached(".mp3lnk"), 38);
  EXPECT_EQ(icons_.ImageName(36), "audio-x-generic");
  EXPECT_EQ(icons_.ImageName(38), "audio-x-generic (link)");
  EXPECT_EQ(icons_.SmallCount(), icons_.LargeCount());

  // Known keys ask the database nothing.
  lookups = FileTypeLookups();
  EXPECT_EQ(Locate({ItemDataFile, 9, "c.mp3", kPidlClassDataFile}).index, 36);
  EXPECT_EQ(Locate({ItemTrack, 9, "d.MP3", kPidlClassTrack}).index, 37);
  EXPECT_EQ(FileTypeLookups(), lookups);

  // Locked and AAC tracks have fixed images, whatever the name says.
  EXPECT_EQ(Locate({ItemTrack, 3, "e.wav", kPidlClassTrack, kFileTypeWav, 1}).index, 18);
  EXPECT_EQ(Locate({ItemTrack, 3, "f.m4a", kPidlClassTrack, kFileTypeM4a}).index, 27);
  EXPECT_EQ(Locate({ItemQueueEntry, 3, "g", kPidlClassTrack, kFileTypeM4p}).index, 28);
  EXPECT_EQ(Locate({ItemTrackWithPlaylists, 3, "h", kPidlClassTrack, kFileTypeM4b}).index, 29);
  EXPECT_EQ(FileTypeLookups(), lookups);

  // With tag search a track's type decides, not its display name.
  device_.tagSearch = 1;
  EXPECT_EQ(Locate({ItemTrack, 4, "Artist - Title", kPidlClassTrack, kFileTypeMp3}).index, 36);
  EXPECT_EQ(icons_.SmallCount(), 39u);
  EXPECT_EQ(icons_.LargeCount(), 39u);
}

TEST_F(ExtractIconTest, ExtractHandsOutTheChosenImages) {
  device_.tagSearch = 0;
  struct Case {
    ItemSpec spec;
    uint32_t index;     // what the caller passes (GetIconLocation's answer)
    const char* image;  // the image both icons show
  };
  Locate({ItemTrack, 1, "a.ogg", kPidlClassTrack});  // caches .ogg at 36
  const Case cases[] = {
      {{ItemTrack, 1, "a.ogg", kPidlClassTrack}, 5, "audio-x-generic"},
      {{ItemTrack, 1, "a.ogg", kPidlClassTrack, 0, 1}, 5, "locked"},
      // Not cached: the image GetIconLocation chose.
      {{ItemTrack, 1, "f.m4a", kPidlClassTrack, kFileTypeM4a}, 27, "aac track"},
      {{FolderPlaylist, 1}, 17, "playlist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec.name);
    OwnedIdList item = MakeItem(c.spec);
    auto* icon = new CExtractIcon(item.get(), icons_);
    ShellIcon large = 0, small = 0;
    EXPECT_EQ(icon->Extract("", c.index, &large, &small, 32 | 16 << 16), S_OK);
    auto l = GetShellIconInfo(large);
    auto s = GetShellIconInfo(small);
    ASSERT_TRUE(l && s);
    EXPECT_EQ(l->image, c.image);
    EXPECT_EQ(s->image, c.image);
    EXPECT_EQ(l->pixels, 32);
    EXPECT_EQ(s->pixels, 16);
    DestroyShellIcon(large);
    DestroyShellIcon(small);
    icon->Release();
  }
  OwnedIdList line = MakeItem({ItemMessageLine, 0});
  auto* icon = new CExtractIcon(line.get(), icons_);
  ShellIcon large = 0;
  EXPECT_EQ(icon->Extract("", 3, &large, nullptr, 0), S_OK);
  EXPECT_EQ(large, 0u);
  icon->Release();
}

TEST_F(ExtractIconTest, TheFolderMakesTheIconOfItsFirstItem) {
  auto* folder = new CShellFolder(nullptr, nullptr);
  OwnedIdList playlist = MakeItem({FolderPlaylist, 3, "Road Trip"});
  OwnedIdList track = MakeItem({ItemTrack, 4, "a.mp3", kPidlClassTrack, kFileTypeMp3, 1});
  LPCITEMIDLIST items[] = {playlist.get(), track.get()};
  ComPtr<IExtractIconA> icon;
  ASSERT_EQ(folder->GetUIObjectOf(0, 2, items, IID_IExtractIconA, nullptr, reinterpret_cast<void**>(icon.Put())), S_OK);
  int32_t index = -1;
  EXPECT_EQ(icon->GetIconLocation(0, nullptr, 0, &index, nullptr), S_OK);
  EXPECT_EQ(index, 17);
  EXPECT_EQ(icon->AddRef(), 2u);  // the caller holds the only reference
  icon->Release();
  icon.Reset();
  folder->Release();
}

TEST_F(ExtractIconTest, ThreadsAskingAtOnceAgreeOnIndexes) {
  device_.tagSearch = 0;
  constexpr int kThreads = 8;
  constexpr int kTypes = 12;
  const char* kExt[kTypes] = {".mp3", ".ogg", ".wav", ".flac", ".txt", ".png", ".jpg", ".pdf", ".zip", ".html", ".m3u", ".wma"};
  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kTypes, -1));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kTypes; ++i) {
        int k = (i * 5 + t) % kTypes;  // each thread in another order
        OwnedIdList item = MakeItem({ItemDataFile, 1, std::string("f") + kExt[k], kPidlClassDataFile});
        auto* icon = new CExtractIcon(item.get(), icons_);
        int32_t index = -1;
        if (icon->GetIconLocation(0, nullptr, 0, &index, nullptr) == S_OK) seen[t][k] = index;
        icon->Release();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(icons_.SmallCount(), kItemImageCount + kTypes);
  EXPECT_EQ(icons_.LargeCount(), kItemImageCount + kTypes);
  std::vector<bool> used(kItemImageCount + kTypes, false);
  for (int k = 0; k < kTypes; ++k) {
    int index = seen[0][k];
    ASSERT_GE(index, static_cast<int>(kItemImageCount));
    EXPECT_FALSE(used[static_cast<size_t>(index)]);
    used[static_cast<size_t>(index)] = true;
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t][k], index);
  }
}

}  // namespace
}  // namespace hub
