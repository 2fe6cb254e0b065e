// The play queue of the KernelDevice base: positions, moves, removal,
// shuffle and the walk through it.
#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "common/kdp_block.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

class PlayQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* t : {"A", "B", "C", "D"}) ids.push_back(device.AddTrack("artist", "album", t));
  }
  void EnqueueAll() {
    for (const auto& id : ids) device.EnqueueTrack(id);
  }
  std::vector<uint32_t> QueueKeys() {
    std::vector<uint32_t> keys;
    for (const auto& e : device.Queue()) keys.push_back(e.key[0]);
    return keys;
  }
  std::vector<uint32_t> Keys(std::initializer_list<int> indexes) {
    std::vector<uint32_t> keys;
    for (int i : indexes) keys.push_back(ids[i].key[0]);
    return keys;
  }
  test::MemoryDevice device;
  std::vector<KernelId> ids;
};

TEST_F(PlayQueueTest, SetQueuePositionClampsIntoTheQueue) {
  device.SetQueuePosition(2);
  EXPECT_EQ(device.GetQueuePosition(), 0);  // empty queue
  device.EnqueueTrack(ids[0]);
  device.EnqueueTrack(ids[1]);
  device.EnqueueTrack(ids[2]);
  const std::pair<int, int> cases[] = {{99, 2}, {-1, 0}, {1, 1}, {2, 2}, {3, 2}};
  for (auto [asked, got] : cases) {
    device.SetQueuePosition(asked);
    EXPECT_EQ(device.GetQueuePosition(), got) << asked;
  }
}

TEST_F(PlayQueueTest, MoveQueueItemPlacesTheEntryBeforeTheTarget) {
  struct Case {
    int from, to;
    std::initializer_list<int> expect;
  };
  const Case cases[] = {
      {0, 2, {1, 0, 2, 3}},  // A B C D -> B A C D
      {3, 1, {0, 3, 1, 2}},  // -> A D B C
      {0, 4, {1, 2, 3, 0}},  // to the end
      {2, 2, {0, 1, 2, 3}},
      {-1, 2, {0, 1, 2, 3}},  // out of range: nothing changes
      {4, 0, {0, 1, 2, 3}},
      {1, 5, {0, 1, 2, 3}},
      {1, -3, {0, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    device.ClearQueue();
    EnqueueAll();
    EXPECT_EQ(device.MoveQueueItem(c.from, c.to), 0);
    EXPECT_EQ(QueueKeys(), Keys(c.expect)) << c.from << "->" << c.to;
  }
}

TEST_F(PlayQueueTest, MoveRequestWithHostileIndexesChangesNothing) {
  EnqueueAll();
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 9170;
  block->n1 = 0x7FFFFFFF;
  block->n2 = -0x7FFFFFFF;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->result, 0);
  EXPECT_EQ(QueueKeys(), Keys({0, 1, 2, 3}));
}

TEST_F(PlayQueueTest, PlayNextAtTheEndThenPreviousPlaysTheLastAgain) {
  EnqueueAll();
  device.SetQueuePosition(3);
  EXPECT_EQ(device.PlayNextQueueItem(), 0);
  EXPECT_EQ(device.PlayNextQueueItem(), 0);  // still past the end, not further
  device.calls.clear();
  EXPECT_EQ(device.PlayPreviousQueueItem(), 1);
  EXPECT_EQ(device.CurrentTrack(), ids[3]);
  EXPECT_EQ(device.GetQueuePosition(), 3);
}

TEST_F(PlayQueueTest, PlayPreviousAtTheStartPlaysNothingThenNextPlaysTheFirst) {
  EnqueueAll();
  EXPECT_EQ(device.PlayPreviousQueueItem(), 0);
  EXPECT_EQ(device.GetQueuePosition(), -1);
  EXPECT_EQ(device.PlayCurrentQueueItem(), 0);
  EXPECT_EQ(device.PlayNextQueueItem(), 1);
  EXPECT_EQ(device.CurrentTrack(), ids[0]);
}

TEST_F(PlayQueueTest, RemoveFromQueueRemovesEveryOccurrenceAndStops) {
  EnqueueAll();
  device.EnqueueTrack(ids[1]);
  KernelId byKey;
  byKey.key[0] = ids[1].key[0];
  byKey.SetName("other name");  // entries are matched on key 0 alone
  device.calls.clear();
  device.RemoveFromQueue(byKey);
  EXPECT_EQ(QueueKeys(), Keys({0, 2, 3}));
  EXPECT_EQ(device.calls.front(), "StopPlayback");
}

TEST_F(PlayQueueTest, QueueWalkWritesOnlyKeyZero) {
  EnqueueAll();
  KernelId item;
  item.key[1] = 55;
  item.SetName("client");
  EXPECT_EQ(device.GetFirstQueueItem(item), 4);
  EXPECT_EQ(item.key[0], ids[0].key[0]);
  EXPECT_EQ(item.key[1], 55u);
  EXPECT_EQ(item.Name(), "client");
  int more = 0;
  while (device.GetNextQueueItem(item)) ++more;
  EXPECT_EQ(more, 3);
  EXPECT_EQ(item.key[0], ids[3].key[0]);
}

TEST_F(PlayQueueTest, SetQueuePositionToTrackFindsTheFirstEntry) {
  EnqueueAll();
  device.EnqueueTrack(ids[2]);
  device.SetQueuePositionToTrack(ids[2]);
  EXPECT_EQ(device.GetQueuePosition(), 2);
  device.SetQueuePositionToTrack(KernelId(12345));
  EXPECT_EQ(device.GetQueuePosition(), 2);
}

TEST_F(PlayQueueTest, ShuffleKeepsEveryEntryAndResetsThePosition) {
  for (int round = 0; round < 50; ++round) EnqueueAll();  // 200 entries: far beyond any 15-bit index
  device.SetQueuePosition(7);
  auto before = QueueKeys();
  EXPECT_EQ(device.ShuffleQueue(), 0);
  auto after = QueueKeys();
  EXPECT_EQ(device.GetQueuePosition(), 0);
  EXPECT_NE(after, before);
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);

  device.ClearQueue();
  EXPECT_EQ(device.ShuffleQueue(), 0);  // an empty queue is only stopped and reset
  EXPECT_TRUE(device.Queue().empty());
}

TEST_F(PlayQueueTest, TrackFinishedMovesOnWithoutPlayingOrAdvancesAndPlays) {
  EnqueueAll();
  device.PlayCurrentQueueItem();
  device.OnTrackFinished(0);
  EXPECT_EQ(device.GetQueuePosition(), 1);
  device.calls.clear();
  device.OnTrackFinished(0x100);  // only the low byte counts
  EXPECT_TRUE(std::none_of(device.calls.begin(), device.calls.end(),
                           [](const std::string& c) { return c.rfind("PlayTrack", 0) == 0; }));
  device.OnTrackFinished(1);
  EXPECT_EQ(device.GetQueuePosition(), 3);
  EXPECT_EQ(device.CurrentTrack(), ids[3]);
}

}  // namespace
}  // namespace hub
