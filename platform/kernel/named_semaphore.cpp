// Named semaphores: a process-shared sem_t in named shared memory, with the
// maximum count kept beside it.
#include "platform/kernel/named_semaphore.h"

#include <pthread.h>
#include <semaphore.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace hub::platform {

struct NamedSemaphore::Block {
  uint32_t magic;
  uint32_t maximum;
  pthread_mutex_t releaseLock;  // robust, process-shared
  sem_t sem;                    // process-shared
};

namespace {

constexpr uint32_t kMagic = 0x534D4831;  // "SMH1"

class ReleaseLock {
 public:
  explicit ReleaseLock(pthread_mutex_t* m) : m_(m) {
    int rc = pthread_mutex_lock(m_);
    // A holder died inside the lock: the count is still sound, so carry on.
    if (rc == EOWNERDEAD) pthread_mutex_consistent(m_);
    else if (rc != 0) throw std::system_error(rc, std::generic_category(), "semaphore lock");
  }
  ~ReleaseLock() { pthread_mutex_unlock(m_); }

 private:
  pthread_mutex_t* m_;
};

}  // namespace

NamedSemaphore::Block* NamedSemaphore::block() const { return static_cast<Block*>(object_->data()); }

std::unique_ptr<NamedSemaphore> NamedSemaphore::Create(std::string_view name, uint32_t initial, uint32_t maximum) {
  if (maximum == 0 || maximum > INT32_MAX || initial > maximum)
    throw std::invalid_argument("semaphore counts out of range");
  auto init = [&](void* p) {
    auto* b = static_cast<Block*>(p);
    std::memset(b, 0, sizeof *b);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&b->releaseLock, &attr);
    pthread_mutexattr_destroy(&attr);
    sem_init(&b->sem, 1, initial);
    b->maximum = maximum;
    b->magic = kMagic;
  };
  auto object = SharedObject::Acquire(name, true, sizeof(Block), init);
  if (object->size() < sizeof(Block) || static_cast<Block*>(object->data())->magic != kMagic)
    throw std::system_error(EEXIST, std::generic_category(), "object is not a semaphore");
  return std::unique_ptr<NamedSemaphore>(new NamedSemaphore(std::move(object)));
}

std::unique_ptr<NamedSemaphore> NamedSemaphore::Open(std::string_view name) {
  auto object = SharedObject::Acquire(name, false, 0);
  if (!object || object->size() < sizeof(Block) || static_cast<Block*>(object->data())->magic != kMagic)
    return nullptr;
  return std::unique_ptr<NamedSemaphore>(new NamedSemaphore(std::move(object)));
}

bool NamedSemaphore::Release(uint32_t count, uint32_t* previous) {
  Block* b = block();
  ReleaseLock lock(&b->releaseLock);
  int value = 0;
  sem_getvalue(&b->sem, &value);
  if (value < 0) value = 0;  // some systems report waiters as a negative count
  if (previous) *previous = static_cast<uint32_t>(value);
  // Waiters only lower the count meanwhile, so the check cannot be overtaken.
  if (count == 0 || count > b->maximum || static_cast<uint32_t>(value) > b->maximum - count) return false;
  for (uint32_t i = 0; i < count; ++i) sem_post(&b->sem);
  return true;
}

WaitResult NamedSemaphore::Wait(uint32_t timeoutMs) {
  sem_t* s = &block()->sem;
  if (timeoutMs == kWaitForever) {
    for (;;) {
      if (sem_wait(s) == 0) return WaitResult::Signalled;
      if (errno != EINTR) return WaitResult::Failed;
    }
  }
  if (timeoutMs == 0) {
    if (sem_trywait(s) == 0) return WaitResult::Signalled;
    return errno == EAGAIN ? WaitResult::TimedOut : WaitResult::Failed;
  }
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  for (;;) {
    if (sem_clockwait(s, CLOCK_MONOTONIC, &deadline) == 0) return WaitResult::Signalled;
    if (errno == EINTR) continue;
    return errno == ETIMEDOUT ? WaitResult::TimedOut : WaitResult::Failed;
  }
}

uint32_t NamedSemaphore::Count() const {
  int value = 0;
  sem_getvalue(&block()->sem, &value);
  return value < 0 ? 0u : static_cast<uint32_t>(value);
}

uint32_t NamedSemaphore::Maximum() const { return block()->maximum; }

}  // namespace hub::platform
