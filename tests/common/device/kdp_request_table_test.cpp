// The request table as data: what the dispatcher and the client both rely on.
#include "common/kdp_request_table.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace hub {
namespace {

TEST(KdpRequestTableTest, HoldsEveryOpcodeOnceInAscendingOrder) {
  auto table = KdpRequestTable();
  ASSERT_EQ(table.size(), kKdpRequestCount);
  std::set<std::string_view> names;
  for (size_t i = 0; i < table.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(table[i - 1].opcode, table[i].opcode);
    }
    EXPECT_TRUE(names.insert(table[i].operation).second) << table[i].operation;
    EXPECT_NE(table[i].invoke, nullptr);
    EXPECT_EQ(FindKdpRequest(table[i].opcode), &table[i]);
  }
}

TEST(KdpRequestTableTest, OpcodesOutsideTheTableAreNotFound) {
  for (uint32_t op : {0u, 1u, 499u, 2130u, 4045u, 13011u, 0xFFFFFFFFu}) EXPECT_EQ(FindKdpRequest(op), nullptr) << op;
}

struct RowCase {
  uint32_t opcode;
  std::string_view operation;
  std::vector<KdpField> args;
  KdpResult result;
};

TEST(KdpRequestTableTest, RowsThatDepartFromThePlainPatternAreAsSpecified) {
  using enum KdpField;
  const RowCase cases[] = {
      {2010, "Connect", {Zero}, KdpResult::None},
      {2000, "ProbeDevice", {ID1, S1, S2}, KdpResult::R},
      {4020, "FindTracks", {ID1, S1, S2, S3}, KdpResult::R},
      {4280, "GetFirstAlbum", {S1, S2}, KdpResult::R},
      {5020, "SetProgressWindow", {H}, KdpResult::None},
      {8120, "MovePlaylistItems", {ID1, N1, N2, N3}, KdpResult::R},
      {11210, "ReadNote", {ID1}, KdpResult::LongText},
      {11220, "WriteNote", {ID1, LongText}, KdpResult::R},
      {12150, "CreateContact", {S1, CR, ID1, ID2}, KdpResult::R},
      {9060, "SaveVolumeSetting", {}, KdpResult::None},
      {4180, "BuildTrackFileName", {ID1}, KdpResult::T},
  };
  for (const auto& c : cases) {
    const KdpRequestRow* row = FindKdpRequest(c.opcode);
    ASSERT_NE(row, nullptr) << c.opcode;
    EXPECT_EQ(row->operation, c.operation);
    EXPECT_EQ(std::vector<KdpField>(row->Args().begin(), row->Args().end()), c.args) << c.opcode;
    EXPECT_EQ(row->result, c.result) << c.opcode;
  }
}

TEST(KdpRequestTableTest, ClientFlagsMarkUncheckedRepliesAndClearedOutputs) {
  std::set<uint32_t> unchecked;
  size_t clears1 = 0, clears2 = 0;
  for (const auto& row : KdpRequestTable()) {
    if (!row.checked) unchecked.insert(row.opcode);
    clears1 += row.clears == KdpClear::ID1;
    clears2 += row.clears == KdpClear::ID2;
  }
  EXPECT_EQ(unchecked, (std::set<uint32_t>{500, 2000, 2010, 2020, 2030, 2040, 2060, 2090}));
  EXPECT_EQ(clears1, 19u);
  EXPECT_EQ(clears2, 14u);
  EXPECT_EQ(FindKdpRequest(4020)->clears, KdpClear::ID1);
  EXPECT_EQ(FindKdpRequest(12190)->clears, KdpClear::ID2);
  EXPECT_EQ(FindKdpRequest(6080)->clears, KdpClear::None);  // returned without clearing
}

}  // namespace
}  // namespace hub
