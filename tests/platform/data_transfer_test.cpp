// Global blocks, media, file-list payloads, stored data objects and the
// user's clipboard (also across processes, through hubplat).
#include "platform/com/data_transfer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>

#include "platform/shell/clipboard.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

TEST(GlobalBlockTest, ZeroFilledLockedCountedAndCheckedHandles) {
  size_t before = GlobalBlocksOutstanding();
  HGLOBAL b = GlobalAllocZeroed(100);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(GlobalSize(b), 100u);
  uint8_t* p = static_cast<uint8_t*>(GlobalLock(b));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_TRUE(GlobalUnlock(b));
  EXPECT_FALSE(GlobalUnlock(b)) << "not locked any more";
  EXPECT_EQ(GlobalBlocksOutstanding(), before + 1);
  EXPECT_TRUE(GlobalFree(b));
  // A freed or made-up handle is refused, never followed.
  int local = 0;
  for (HGLOBAL bad : {b, static_cast<HGLOBAL>(&local), static_cast<HGLOBAL>(nullptr)}) {
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_FALSE(GlobalFree(bad));
  }
  EXPECT_EQ(GlobalBlocksOutstanding(), before);

  HGLOBAL empty = GlobalAllocZeroed(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(GlobalSize(empty), 0u);
  EXPECT_TRUE(GlobalFree(empty));

  SetGlobalAllocFailureHook([](size_t size) { return size == 77; });
  EXPECT_EQ(GlobalAllocZeroed(77), nullptr);
  EXPECT_EQ(MakeDropFilesBlock({std::string(55, 'x')}), nullptr) << "21 + 56 bytes";
  SetGlobalAllocFailureHook(nullptr);
  EXPECT_EQ(GlobalBlocksOutstanding(), before);
}

class CountingUnknown final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  uint32_t refs = 1;
};

TEST(StgMediumTest, ReleaseHonoursTheReleaseObject) {
  size_t before = GlobalBlocksOutstanding();
  CountingUnknown owner;
  HGLOBAL owned = GlobalAllocZeroed(8);
  STGMEDIUM m{TYMED_HGLOBAL, owned, &owner};
  ReleaseStgMedium(&m);
  EXPECT_EQ(owner.refs, 0u) << "the provider's object is released";
  EXPECT_EQ(GlobalSize(owned), 8u) << "and the block stays the provider's";
  EXPECT_EQ(m.hGlobal, nullptr);
  EXPECT_EQ(m.pUnkForRelease, nullptr);
  GlobalFree(owned);

  STGMEDIUM mine{TYMED_HGLOBAL, GlobalAllocZeroed(8), nullptr};
  ReleaseStgMedium(&mine);
  EXPECT_EQ(mine.tymed, TYMED_NULL);
  STGMEDIUM none;
  ReleaseStgMedium(&none);
  ReleaseStgMedium(nullptr);
  EXPECT_EQ(GlobalBlocksOutstanding(), before);
}

TEST(DropFilesTest, PayloadBytesOfPathsWithBlanksAndNonAsciiLetters) {
  std::vector<std::string> paths{"/home/a b/Björk – Jóga.mp3", "/x/c.flac"};
  std::vector<uint8_t> bytes = BuildDropFiles(paths);
  ASSERT_EQ(bytes.size(), 21 + (paths[0].size() + 1) + (paths[1].size() + 1));
  const uint8_t header[20] = {20, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes.data(), header, 20), 0) << "offset 20, point (0, 0), flags 0";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 20), paths[0]);
  EXPECT_EQ(bytes[bytes.size() - 1], 0);
  EXPECT_EQ(bytes[bytes.size() - 2], 0);
  EXPECT_EQ(ParseDropFiles(bytes.data(), bytes.size()), paths);

  // Long paths come back whole.
  std::vector<std::string> longer{"/" + std::string(600, 'L') + ".mp3"};
  auto back = BuildDropFiles(longer);
  EXPECT_EQ(ParseDropFiles(back.data(), back.size()), longer);
  auto none = BuildDropFiles({});
  EXPECT_EQ(none.size(), 21u);
  EXPECT_EQ(ParseDropFiles(none.data(), none.size()), std::vector<std::string>{});

  HGLOBAL block = MakeDropFilesBlock(paths);
  EXPECT_EQ(GlobalSize(block), bytes.size());
  EXPECT_EQ(ParseDropFilesBlock(block), paths);
  GlobalFree(block);
  EXPECT_EQ(ParseDropFilesBlock(block), std::nullopt) << "a freed block";
}

TEST(DropFilesTest, WideListsAreReadAsUtf8) {
  std::vector<uint8_t> bytes(20, 0);
  bytes[0] = 20;
  bytes[16] = 1;
  for (char16_t c : std::u16string(u"/a\u00e9\U0001F3B5")) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  for (int i = 0; i < 4; ++i) bytes.push_back(0);
  EXPECT_EQ(ParseDropFiles(bytes.data(), bytes.size()), std::vector<std::string>{"/a\u00e9\U0001F3B5"});
}

TEST(DropFilesTest, MalformedPayloadsAreRefused) {
  auto good = BuildDropFiles({"/a", "/b"});
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"shorter than the header", {20, 0, 0, 0, 0}},
      {"list offset inside the header", [&] { auto b = good; b[0] = 4; return b; }()},
      {"list offset past the end", [&] { auto b = good; b[0] = 200; return b; }()},
      {"no closing NUL", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"unterminated path", std::vector<uint8_t>(good.begin(), good.end() - 3)},
      {"wide list with a lone low surrogate", [] {
         std::vector<uint8_t> b(20, 0);
         b[0] = 20;
         b[16] = 1;
         for (uint8_t x : {0x00, 0xDC, 0, 0, 0, 0}) b.push_back(x);
         return b;
       }()},
      {"wide list cut in a character", [] {
         std::vector<uint8_t> b(20, 0);
         b[0] = 20;
         b[16] = 1;
         b.push_back('a');
         return b;
       }()},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDropFiles(c.bytes.data(), c.bytes.size()), std::nullopt) << c.what;
  EXPECT_EQ(ParseDropFiles(nullptr, 0), std::nullopt);
}

TEST(StoredDataObjectTest, AnswersPerComAndRendersFreshBlocks) {
  size_t before = GlobalBlocksOutstanding();
  uint16_t custom = RegisterClipboardFormatName("HubTestStoredFormat");
  ComPtr<IDataObject> d(CreateStoredDataObject({{CF_HDROP, BuildDropFiles({"/a"})}, {custom, {1, 2, 3}}}));
  ASSERT_TRUE(d);

  FORMATETC text{1, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  FORMATETC drop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  FORMATETC otherMedium{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, 4};
  FORMATETC otherAspect{CF_HDROP, nullptr, 4, -1, TYMED_HGLOBAL};
  EXPECT_EQ(d->QueryGetData(&drop), S_OK);
  EXPECT_EQ(d->QueryGetData(&text), DV_E_FORMATETC) << "the format is compared";
  EXPECT_EQ(d->QueryGetData(&otherMedium), DV_E_TYMED);
  EXPECT_EQ(d->QueryGetData(&otherAspect), DV_E_DVASPECT);
  EXPECT_EQ(d->QueryGetData(nullptr), S_FALSE);
  STGMEDIUM m;
  EXPECT_EQ(d->GetData(&text, &m), DV_E_FORMATETC);
  EXPECT_EQ(d->GetData(nullptr, &m), E_INVALIDARG);
  EXPECT_EQ(TakeFormatBytes(d.get(), custom), (std::vector<uint8_t>{1, 2, 3}));

  // Every look at the formats starts at the first one.
  IEnumFORMATETC* raw = nullptr;
  EXPECT_EQ(d->EnumFormatEtc(DATADIR_SET, &raw), OLE_S_USEREG);
  EXPECT_EQ(raw, nullptr);
  for (int look = 0; look < 2; ++look) {
    auto formats = OfferedFormats(d.get());
    ASSERT_EQ(formats.size(), 2u) << look;
    EXPECT_EQ(formats[0].cfFormat, CF_HDROP);
    EXPECT_EQ(formats[1].cfFormat, custom);
  }

  // Skip: S_OK when all n were skipped (also exactly the rest), S_FALSE past the end.
  ComPtr<IEnumFORMATETC> e;
  ASSERT_EQ(d->EnumFormatEtc(DATADIR_GET, e.Put()), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  FORMATETC f;
  uint32_t got = 9;
  EXPECT_EQ(e->Next(1, &f, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(3), S_FALSE);
  e->Reset();
  EXPECT_EQ(e->Skip(1), S_OK);
  ComPtr<IEnumFORMATETC> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  EXPECT_EQ(clone->Next(1, &f, nullptr), S_OK);
  EXPECT_EQ(f.cfFormat, custom) << "a clone keeps the position";
  EXPECT_EQ(e->Next(1, nullptr, nullptr), E_INVALIDARG);
  e.Reset();
  clone.Reset();
  d.Reset();
  EXPECT_EQ(GlobalBlocksOutstanding(), before);
}

TEST(ClipboardTest, EncodingRoundTripsAndDamageIsRefused) {
  std::vector<StoredFormat> formats{{CF_HDROP, BuildDropFiles({"/a b"})}, {0xC123, {}}};
  auto bytes = EncodeClipboard(formats);
  auto back = DecodeClipboard(bytes.data(), bytes.size());
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 2u);
  EXPECT_EQ((*back)[0].bytes, formats[0].bytes);
  EXPECT_EQ((*back)[1].format, 0xC123);
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_EQ(DecodeClipboard(bytes.data(), cut), std::nullopt) << cut;
  auto longer = bytes;
  longer.push_back(0);
  EXPECT_EQ(DecodeClipboard(longer.data(), longer.size()), std::nullopt) << "trailing bytes";
  auto huge = bytes;
  huge[12 + 4] = 0xFF;  // first format's size
  EXPECT_EQ(DecodeClipboard(huge.data(), huge.size()), std::nullopt);
}

TEST(ClipboardTest, FilesCopiedByHubplatPasteInThisProcess) {
  std::string dir = test::MakeTempDir("clip");
  std::ofstream(dir + "/a.mp3") << "a";
  std::ofstream(dir + "/b é.flac") << "b";
  test::ChildProcess p({HUBPLAT_PATH, "clip", "files", dir + "/a.mp3", dir + "/b é.flac"});
  EXPECT_EQ(p.ReadLine(10000), std::string("2 files on the clipboard"));
  auto status = p.Wait(10000);
  ASSERT_TRUE(status && WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 0);

  ComPtr<IDataObject> clip;
  ASSERT_EQ(OleGetClipboard(clip.Put()), S_OK);
  EXPECT_TRUE(OffersFormat(clip.get(), CF_HDROP));
  auto bytes = TakeFormatBytes(clip.get(), CF_HDROP);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(ParseDropFiles(bytes->data(), bytes->size()),
            (std::vector<std::string>{dir + "/a.mp3", dir + "/b é.flac"}));

  // A missing file copies nothing; show prints the list.
  test::ChildProcess missing({HUBPLAT_PATH, "clip", "files", dir + "/none.mp3"});
  auto st = missing.Wait(10000);
  ASSERT_TRUE(st && WIFEXITED(*st));
  EXPECT_EQ(WEXITSTATUS(*st), 1);
  test::ChildProcess show({HUBPLAT_PATH, "clip", "show"});
  EXPECT_EQ(show.ReadLine(10000), std::string("CF_HDROP (15): 2 files"));
  EXPECT_EQ(show.ReadLine(10000), "  " + dir + "/a.mp3");
  show.Wait(10000);

  // OleSetClipboard takes what a data object renders; null empties the clipboard.
  ComPtr<IDataObject> mine(CreateStoredDataObject({{CF_HDROP, BuildDropFiles({"/z"})}}));
  ASSERT_EQ(OleSetClipboard(mine.get()), S_OK);
  EXPECT_EQ(ReadClipboard()->at(0).bytes, BuildDropFiles({"/z"}));
  ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
  EXPECT_TRUE(ReadClipboard()->empty());
}

TEST(ClipboardTest, DesktopUriListsGiveLocalPathsOnly) {
  std::vector<std::string> rejected;
  auto paths = PathsFromUriList(
      "# copied\r\nfile:///home/u/a%20b.mp3\r\nfile://localhost/x/%C3%A9.flac\nhttps://example.org/x.mp3\n"
      "file://otherhost/y.mp3\nfile:///bad%2\nfile:///nul%00x\nfile:/short.ogg\n",
      &rejected);
  EXPECT_EQ(paths, (std::vector<std::string>{"/home/u/a b.mp3", "/x/\u00e9.flac", "/short.ogg"}));
  EXPECT_EQ(rejected, (std::vector<std::string>{"https://example.org/x.mp3", "file://otherhost/y.mp3", "file:///bad%2",
                                                "file:///nul%00x"}));
}

}  // namespace
}  // namespace hub::platform
