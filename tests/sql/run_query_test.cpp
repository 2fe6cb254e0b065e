// The device's query operation through the request dispatcher, over the SQL engine.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sql/select_statement.h"

#include "common/kdp_block.h"
#include "sql/sql_query_engine.h"
#include "testdevice/memory_device.h"

namespace hub::test {
namespace {

struct Answer {
  int32_t result;
  uint64_t id;
};

Answer Request(KernelDevice& device, uint32_t opcode, const std::string& text = {}) {
  auto block = std::make_unique<KdpBlock>();
  block->selector = kKdpSelectorRequest;
  block->opcode = opcode;
  block->s1.Set(text);
  device.DispatchRequest(*block);
  return {block->result, block->id1.RecordId()};
}

TEST(SqlRunQueryTest, DispatcherAnswersCountAndIds) {
  MemoryDevice device;
  KernelId a = device.AddTrack("The Beatles", "Help!", "Yesterday");
  device.AddTrack("Queen", "Innuendo", "Innuendo");
  KernelId c = device.AddTrack("BEATS", "Vol 1", "Drop");
  InstallSqlQueryEngine();

  Answer first = Request(device, 4330, "SELECT id FROM audio WHERE artist?'beat' OR album?'beat';");
  EXPECT_EQ(first.result, 2);
  EXPECT_EQ(first.id, a.RecordId());
  Answer next = Request(device, 4340);
  EXPECT_EQ(next.result, 1);
  EXPECT_EQ(next.id, c.RecordId());
  EXPECT_EQ(Request(device, 4340).result, 0);

  // Bad statements, other statements, SQL failures and empty results all answer 0.
  const char* zero[] = {
      "SELECT id FROM audio WHERE",
      "DELETE FROM audio",
      "SELECT id FROM nosuch",
      "SELECT id FROM audio WHERE artist = 'nobody'",
      "SELECT id FROM audio WHERE artist LIKE 'Q%'",
      "SELECT id FROM audio WHERE year / 0 = 1",
  };
  for (const char* sql : zero) EXPECT_EQ(Request(device, 4330, sql).result, 0) << sql;

  EXPECT_EQ(Request(device, 4330, "SELECT id FROM audio ORDER BY id DESC").id, c.RecordId());
  SetQueryEngine(nullptr);
  EXPECT_EQ(Request(device, 4330, "SELECT id FROM audio").result, 0);
}

TEST(SqlRunQueryTest, DeviceFailuresEndTheQueryWithZero) {
  MemoryDevice device;
  device.AddTrack("A", "B", "C");
  KernelId bad = device.AddTrack("D", "E", "F");
  device.failingTracks.push_back(bad.RecordId());
  InstallSqlQueryEngine();
  KernelId first;
  EXPECT_EQ(device.RunQuery("SELECT id FROM audio WHERE artist = 'A'", first), 0);
  EXPECT_EQ(device.RunQuery("SELECT id FROM audio WHERE id = 1", first), 1);
  SetQueryEngine(nullptr);
}

// Web server threads query one device at once; each walk must see every track.
TEST(SqlRunQueryTest, QueriesOnSeveralThreadsDoNotShareAWalk) {
  MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < 300; ++i) device.AddTrack("Artist " + std::to_string(i % 7), "Album", "Title " + std::to_string(i));
  std::atomic<int> wrong{0};
  auto worker = [&] {
    for (int k = 0; k < 100; ++k) {
      CTableSourceKernelDevice source(device);
      CResultTable result;
      RunSelectStatement("SELECT id FROM audio WHERE artist = 'artist 3'", source, result);
      if (result.size() != 43) ++wrong;
    }
  };
  std::thread a(worker), b(worker), c(worker);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace hub::test
