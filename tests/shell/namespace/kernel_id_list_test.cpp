#include "shell/namespace/kernel_id_list.h"

#include <gtest/gtest.h>

#include <cstring>

namespace hub {
namespace {

KernelId Id(uint32_t key, std::string_view name) {
  KernelId id(key);
  id.key[1] = key + 100;
  id.key[3] = 0xA0B0C0D0;
  id.SetName(name);
  return id;
}

TEST(KernelIdListTest, PayloadBytesOfZeroOneAndThreeIds) {
  struct Case {
    std::vector<KernelId> ids;
  } cases[] = {{{}}, {{Id(7, "Track 7")}}, {{Id(1, "a"), Id(2, "Bj\u00f6rk"), Id(3, "")}}};
  for (const auto& c : cases) {
    auto bytes = BuildKernelIdList(c.ids);
    ASSERT_EQ(bytes.size(), (c.ids.size() + 1) * 276);
    EXPECT_EQ(bytes[0], c.ids.size());
    for (size_t i = 1; i < 276; ++i) ASSERT_EQ(bytes[i], 0) << "record 0 byte " << i;
    for (size_t k = 0; k < c.ids.size(); ++k) {
      const uint8_t* r = bytes.data() + (k + 1) * 276;
      EXPECT_EQ(r[0], c.ids[k].key[0]);
      EXPECT_EQ(r[4], c.ids[k].key[1]);
      EXPECT_EQ(r[12], 0xD0);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 16)), c.ids[k].Name());
      for (size_t i = 16 + c.ids[k].Name().size(); i < 276; ++i) ASSERT_EQ(r[i], 0) << k << " byte " << i;
    }
    auto back = ParseKernelIdList(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ids, c.ids);
    EXPECT_EQ(back->draggedName, "");
  }
}

TEST(KernelIdListTest, TheDraggedNameTravelsInRecordZero) {
  std::string longName(300, 'n');
  auto bytes = BuildKernelIdList({Id(1, "x")}, "Blue Train");
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 16)), "Blue Train");
  EXPECT_EQ(ParseKernelIdList(bytes.data(), bytes.size())->draggedName, "Blue Train");
  auto cut = BuildKernelIdList({}, longName);
  EXPECT_EQ(ParseKernelIdList(cut.data(), cut.size())->draggedName, std::string(256, 'n'));
}

TEST(KernelIdListTest, ShortForeignAndUnterminatedPayloadsAreNotReadPastTheirEnd) {
  auto three = BuildKernelIdList({Id(1, "a"), Id(2, "b"), Id(3, "c")});
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"shorter than record 0", std::vector<uint8_t>(275, 0)},
      {"one record short", std::vector<uint8_t>(three.begin(), three.end() - 276)},
      {"one byte short", std::vector<uint8_t>(three.begin(), three.end() - 1)},
      {"a huge count", [] {
         std::vector<uint8_t> b(276 * 2, 0);
         b[0] = b[1] = b[2] = b[3] = 0xFF;
         return b;
       }()},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseKernelIdList(c.bytes.data(), c.bytes.size()), std::nullopt) << c.what;

  // Names that fill their field without a terminator come back terminated.
  std::vector<uint8_t> filled(276 * 2, 'x');
  std::memset(filled.data(), 0, 4);
  filled[0] = 1;
  auto back = ParseKernelIdList(filled.data(), filled.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ids[0].Name(), std::string(256, 'x'));
  EXPECT_EQ(back->ids[0].name[256], 0);
  // Bytes past the promised records are ignored.
  auto longer = three;
  longer.resize(longer.size() + 100, 0xEE);
  EXPECT_EQ(ParseKernelIdList(longer.data(), longer.size())->ids.size(), 3u);
}

TEST(KernelIdListTest, BlocksHoldThePayload) {
  size_t before = platform::GlobalBlocksOutstanding();
  platform::HGLOBAL b = MakeKernelIdListBlock({Id(5, "five")}, "n");
  ASSERT_NE(b, nullptr);
  {
    platform::GlobalLockScope lock(b);
    auto back = ParseKernelIdList(lock.bytes(), lock.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ids[0].key[0], 5u);
  }
  platform::GlobalFree(b);
  EXPECT_EQ(platform::GlobalBlocksOutstanding(), before);
}

}  // namespace
}  // namespace hub
