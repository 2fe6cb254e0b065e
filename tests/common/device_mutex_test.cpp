// The device lock: recursive, aware of its holder, served in the order asked,
// and a timed wait that gives up leaves no hole in the queue.
#include "common/device_mutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hub {
namespace {

using namespace std::chrono_literals;

// Waits (with a time-out) until `count` threads queue for the lock.
bool WaitForWaiting(const DeviceMutex& mutex, size_t count) {
  auto deadline = std::chrono::steady_clock::now() + 20s;
  while (mutex.Waiting() != count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

bool OtherThreadTakes(DeviceMutex& mutex) {
  return std::async(std::launch::async, [&] {
           if (!mutex.try_lock()) return false;
           mutex.unlock();
           return true;
         }).get();
}

TEST(DeviceMutexTest, RecursiveAndKnowsItsHolder) {
  DeviceMutex mutex;
  EXPECT_FALSE(mutex.HeldByThisThread());
  mutex.lock();
  ASSERT_TRUE(mutex.try_lock());
  ASSERT_TRUE(mutex.try_lock_for(0ms));
  EXPECT_TRUE(mutex.HeldByThisThread());
  EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex.HeldByThisThread(); }).get());
  mutex.unlock();
  mutex.unlock();
  EXPECT_FALSE(OtherThreadTakes(mutex)) << "held once more";
  mutex.unlock();
  EXPECT_FALSE(mutex.HeldByThisThread());
  EXPECT_TRUE(OtherThreadTakes(mutex));
}

TEST(DeviceMutexTest, ServesThreadsInTheOrderTheyAsked) {
  DeviceMutex mutex;
  std::mutex orderMutex;
  std::vector<std::string> order;
  auto note = [&](const std::string& who) {
    std::lock_guard guard(orderMutex);
    order.push_back(who);
  };
  mutex.lock();
  std::thread first([&] {
    std::lock_guard hold(mutex);
    note("first");
  });
  ASSERT_TRUE(WaitForWaiting(mutex, 1));
  std::thread second([&] {
    std::lock_guard hold(mutex);
    note("second");
  });
  ASSERT_TRUE(WaitForWaiting(mutex, 2));
  // A thread that lets go and asks again, as a long walk does between its
  // slices, queues behind those already waiting.
  mutex.unlock();
  mutex.lock();
  note("again");
  EXPECT_EQ(mutex.Waiting(), 0u);
  mutex.unlock();
  first.join();
  second.join();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "again"}));
}

TEST(DeviceMutexTest, TimedWaitThatGivesUpLeavesNoHoleInTheQueue) {
  DeviceMutex mutex;
  mutex.lock();
  auto timed = std::async(std::launch::async, [&] { return mutex.try_lock_for(1s); });
  ASSERT_TRUE(WaitForWaiting(mutex, 1));
  std::promise<void> taken;
  std::thread waiter([&] {
    std::lock_guard hold(mutex);
    taken.set_value();
  });
  EXPECT_FALSE(timed.get());
  ASSERT_TRUE(WaitForWaiting(mutex, 1));
  mutex.unlock();
  // The waiter behind the abandoned turn gets the lock; without the skip it would wait forever.
  EXPECT_EQ(taken.get_future().wait_for(20s), std::future_status::ready);
  waiter.join();
  EXPECT_TRUE(mutex.try_lock_until(std::chrono::system_clock::now() + 1s));
  mutex.unlock();
}

}  // namespace
}  // namespace hub
