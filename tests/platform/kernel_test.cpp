#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "platform/kernel/clock.h"
#include "platform/kernel/critical_section.h"
#include "platform/kernel/file_lock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/paths.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

TEST(KernelObjectNameTest, PerUserAndRefusesBadNames) {
  std::string n = KernelObjectName("KDPMAP_TV");
  EXPECT_EQ(n.rfind("/KDPMAP_TV" + UserSuffix(), 0), 0u) << n;
  for (const char* bad : {"", "a/b", "/x"}) EXPECT_THROW(KernelObjectName(bad), std::invalid_argument) << bad;
  EXPECT_THROW(KernelObjectName(std::string(300, 'x')), std::invalid_argument);
}

TEST(SharedMappingTest, OpenSeesTheCreatorsBytesUntilTheLastHolderLetsGo) {
  EXPECT_EQ(SharedMapping::Open("map_a"), nullptr);
  auto created = SharedMapping::Create("map_a", 17352);
  ASSERT_TRUE(created->created());
  EXPECT_EQ(created->size(), 17352u);
  std::memcpy(created->data(), "hello", 6);
  {
    auto opened = SharedMapping::Open("map_a");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->size(), 17352u);
    EXPECT_STREQ(static_cast<char*>(opened->data()), "hello");
    // A second creator while the object is held opens it, as on the original system.
    auto again = SharedMapping::Create("map_a", 100);
    EXPECT_FALSE(again->created());
    EXPECT_EQ(again->size(), 17352u);
  }
  created.reset();
  EXPECT_EQ(SharedMapping::Open("map_a"), nullptr);
  auto fresh = SharedMapping::Create("map_a", 64);
  EXPECT_TRUE(fresh->created());
  EXPECT_EQ(static_cast<char*>(fresh->data())[0], 0);
}

TEST(NamedSemaphoreTest, ReleaseNeverPassesTheMaximum) {
  struct Case {
    uint32_t initial, maximum, release;
    bool ok;
    uint32_t countAfter;
  } cases[] = {
      {0, 1, 1, true, 1}, {1, 1, 1, false, 1}, {0, 3, 2, true, 2}, {2, 3, 2, false, 2}, {0, 2, 3, false, 0},
      {0, 1, 0, false, 0},
  };
  int i = 0;
  for (const Case& c : cases) {
    auto sem = NamedSemaphore::Create("sem_max" + std::to_string(i++), c.initial, c.maximum);
    uint32_t previous = 99;
    EXPECT_EQ(sem->Release(c.release, &previous), c.ok) << i;
    EXPECT_EQ(previous, c.initial) << i;
    EXPECT_EQ(sem->Count(), c.countAfter) << i;
  }
}

TEST(NamedSemaphoreTest, WaitsSaySignalledOrTimedOut) {
  auto sem = NamedSemaphore::Create("sem_wait", 1, 1);
  EXPECT_EQ(sem->Wait(0), WaitResult::Signalled);
  EXPECT_EQ(sem->Wait(0), WaitResult::TimedOut);
  uint64_t start = TickCount64();
  EXPECT_EQ(sem->Wait(60), WaitResult::TimedOut);
  EXPECT_GE(TickCount64() - start, 59u);
  // Another holder of the same name releases; the waiter wakes.
  std::thread releaser([] {
    auto other = NamedSemaphore::Open("sem_wait");
    SleepMs(20);
    other->Release();
  });
  EXPECT_EQ(sem->Wait(10000), WaitResult::Signalled);
  releaser.join();
}

TEST(NamedSemaphoreTest, RefusesBadCountsAndForeignObjects) {
  EXPECT_THROW(NamedSemaphore::Create("sem_bad", 2, 1), std::invalid_argument);
  EXPECT_THROW(NamedSemaphore::Create("sem_bad", 0, 0), std::invalid_argument);
  EXPECT_EQ(NamedSemaphore::Open("sem_missing"), nullptr);
  auto mapping = SharedMapping::Create("not_a_sem", 8);
  EXPECT_EQ(NamedSemaphore::Open("not_a_sem"), nullptr);
  EXPECT_THROW(NamedSemaphore::Create("not_a_sem", 0, 1), std::system_error);
}

TEST(KernelObjectsTest, ADeadHolderLeavesNothingBehind) {
  std::string lockPath = test::MakeTempDir("lock") + "/held.lock";
  test::ChildProcess child({WINDOW_PEER_PATH, "hold", lockPath, "held_map"});
  ASSERT_EQ(child.ReadLine(10000), "ready 0");
  FileLock lock(lockPath);
  EXPECT_FALSE(lock.TryLock());
  ASSERT_NE(SharedMapping::Open("held_map"), nullptr);
  child.Kill();
  EXPECT_TRUE(lock.TryLock());
  // The dead holder's objects are stale: the next creator starts afresh.
  EXPECT_EQ(SharedMapping::Open("held_map"), nullptr);
  auto mapping = SharedMapping::Create("held_map", 4096);
  EXPECT_TRUE(mapping->created());
  EXPECT_EQ(static_cast<unsigned char*>(mapping->data())[0], 0);
  auto sem = NamedSemaphore::Create("held_map.sem", 0, 1);
  EXPECT_TRUE(sem->created());
}

TEST(FileLockTest, ExcludesOtherHoldersUntilUnlocked) {
  std::string path = test::MakeTempDir("lock") + "/x.lock";
  FileLock a(path), b(path);
  EXPECT_TRUE(a.TryLock());
  EXPECT_FALSE(b.TryLock());
  a.Unlock();
  EXPECT_TRUE(b.TryLock());
  FileLock named = FileLock::Named("kdp");
  EXPECT_TRUE(named.TryLock());
  EXPECT_THROW(FileLock::Named("../x"), std::invalid_argument);
}

TEST(CriticalSectionTest, OwnerReentersOthersWait) {
  CriticalSection cs;
  cs.Enter();
  cs.Enter();
  cs.Leave();
  bool otherGot = true;
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot);
  cs.Leave();
  std::thread([&] {
    otherGot = cs.TryEnter();
    if (otherGot) cs.Leave();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(ClockTest, TickCountAdvancesWithSleep) {
  uint64_t t0 = TickCount64();
  SleepMs(25);
  EXPECT_GE(TickCount64() - t0, 25u);
  EXPECT_NE(CurrentThreadId(), 0u);
  uint32_t other = 0;
  std::thread([&] { other = CurrentThreadId(); }).join();
  EXPECT_NE(other, CurrentThreadId());
}

}  // namespace
}  // namespace hub::platform
