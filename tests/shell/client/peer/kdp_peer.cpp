// The other process of the client tests. "serve" plays the manager's side of
// the request block (mapping, three semaphores, a window of the KDP class
// that answers 0x464 through a device's DispatchRequest); "hammer" is a second
// client process. Each says "ready" on stdout when it can be reached and ends
// by itself within its time limit; a hammer starts its requests on SIGUSR1, so
// that two of them run side by side from their first request.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/kdp_sequence.h"
#include "common/product_profile.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "testdevice/memory_device.h"
#include "testdevice/recording_device.h"

using namespace hub;
using namespace hub::platform;

namespace {

constexpr uint32_t kRequestMessage = 0x464;
constexpr uint32_t kServedSelector = 10;
constexpr int kMemoryTracks = 50;

struct Options {
  std::string mode = "echo";
  uint32_t lifeMs = 60000;
  uint32_t delayMs = 0;       // slow: answer the first request this long after dispatching it
  uint32_t extensionMs = 0;   // extension: ask for this much more time, then never finish
  uint32_t dropAt = 0;        // drop: the request of this number (from 1) is taken and never answered
};

// A manager of another release: the namespace must say both versions.
class OldVersionDevice : public test::MemoryDevice {
 public:
  std::string GetVersion() override { return "0.9.0"; }
};

// What a field at `offset` of the block holds, for the call log.
std::string FieldContent(const KdpBlock& b, size_t offset) {
  auto at = [&](const void* field) { return offset == static_cast<size_t>(static_cast<const char*>(field) - reinterpret_cast<const char*>(&b)); };
  if (at(&b.s1)) return b.s1.str();
  if (at(&b.s2)) return b.s2.str();
  if (at(&b.s3)) return b.s3.str();
  if (at(&b.id1)) return std::to_string(b.id1.key[0]);
  if (at(&b.id2)) return std::to_string(b.id2.key[0]);
  if (at(&b.track)) return b.track.title.str();
  if (at(&b.contact)) return b.contact.field[kContactFirstName].str();
  if (at(b.longText)) return std::string(b.LongText());
  return "?";
}

// Prints the device's last call as "call <operation> <arg>...": values as
// numbers, fields as "@<offset>=<content>".
void LogCall(const test::RecordingDevice& device, const KdpBlock& b, size_t& seen) {
  if (device.calls.size() == seen) {
    std::printf("call none\n");
    return;
  }
  seen = device.calls.size();
  const test::RecordedCall& call = device.calls.back();
  std::string line = "call " + call.operation;
  const auto base = reinterpret_cast<uintptr_t>(&b);
  for (int64_t arg : call.args) {
    auto p = static_cast<uintptr_t>(arg);
    if (p >= base && p < base + sizeof(KdpBlock)) {
      size_t offset = p - base;
      line += " @" + std::to_string(offset) + "=" + FieldContent(b, offset);
    } else {
      line += " " + std::to_string(arg);
    }
  }
  std::printf("%s\n", line.c_str());
}

// Writes recognisable values into every output field the client may read.
void WriteMarkers(KdpBlock& b) {
  const uint32_t op = b.opcode;
  b.id1 = KernelId(op * 10 + 1);
  b.id2 = KernelId(op * 10 + 2);
  b.s1.Set("o1-" + std::to_string(op));
  b.s2.Set("o2-" + std::to_string(op));
  b.s3.Set("o3-" + std::to_string(op));
  b.track.Init();
  b.track.title.Set("otr-" + std::to_string(op));
  b.contact.Init();
  b.contact.field[kContactFirstName].Set("ocr-" + std::to_string(op));
  const KdpRequestRow* row = FindKdpRequest(op);
  if (!row || row->result != KdpResult::LongText) b.SetLongText("olt-" + std::to_string(op));
}

int Serve(const Options& opt) {
  const ProductProfile& profile = TheProductProfile();
  auto mapping = SharedMapping::Create(profile.mappingName, kKdpBlockSize);
  auto* block = new (mapping->data()) KdpBlock();
  auto pre = NamedSemaphore::Create(profile.preSemaphoreName, 0, 1);
  auto completion = NamedSemaphore::Create(profile.completionSemaphoreName, 0, 1);
  auto extension = NamedSemaphore::Create(profile.extensionSemaphoreName, 0, 1);

  std::unique_ptr<KernelDevice> device;
  test::RecordingDevice* recorder = nullptr;
  if (opt.mode == "echo" || opt.mode == "drop") {
    auto r = std::make_unique<test::RecordingDevice>();
    recorder = r.get();
    device = std::move(r);
  } else if (opt.mode == "oldversion") {
    device = std::make_unique<OldVersionDevice>();
  } else {
    auto m = std::make_unique<test::MemoryDevice>();
    for (int i = 1; i <= kMemoryTracks; ++i) m->AddTrack("artist-" + std::to_string(i), "album", "title", i);
    device = std::move(m);
  }

  bool delayed = false;
  size_t seen = 0;
  uint32_t served = 0;
  RegisterWindowClass(profile.windowClassName, [&](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m != kRequestMessage) return DefaultWindowProc(h, m, w, l);
    if (!KdpRequestMatches(*block, w)) return 0;  // a message whose request was given up
    pre->Release();
    ++served;
    if (opt.mode == "hang") return 0;
    if (opt.mode == "drop" && served == opt.dropAt) {
      std::printf("dropped\n");  // taken, never answered
      std::fflush(stdout);
      return 0;
    }
    if (opt.mode == "extension") {
      block->extensionTime = opt.extensionMs;
      MarkKdpAnswered(*block, static_cast<uint32_t>(w));
      completion->Release();
      return 0;
    }
    if (block->selector == kServedSelector) {
      device->DispatchRequest(*block);
      if (recorder) {
        LogCall(*recorder, *block, seen);
        WriteMarkers(*block);
      }
    }
    if (opt.mode == "error") {
      // What a manager reporting a failure writes, with a notice beside it.
      block->errorCode = 0x1234;
      block->errorTitle.Set("Test Failure");
      block->errorText.Set("The test manager failed.");
      block->noticeFlag = kKdpNoticeSet;
      block->noticeText.Set("A notice.");
      block->driverErrorCode = 32;
      block->driverErrorText.Set("The file is in use.");
    }
    if (opt.delayMs && !delayed) {
      delayed = true;  // only the first request is late
      SleepMs(opt.delayMs);
    }
    MarkKdpAnswered(*block, static_cast<uint32_t>(w));
    mapping->Flush();
    std::fflush(stdout);
    if (block->extensionTime != 0) extension->Release();
    else completion->Release();
    return 0;
  });
  WindowHandle window = CreateHiddenWindow(profile.windowClassName, "");
  std::printf("ready %u\n", window);
  std::fflush(stdout);

  const uint64_t end = TickCount64() + opt.lifeMs;
  Message msg;
  for (;;) {
    uint64_t now = TickCount64();
    if (now >= end) return 0;
    MessageWait wait = WaitWindowMessage(msg, static_cast<uint32_t>(end - now));
    if (wait != MessageWait::Message) return 0;
    DispatchWindowMessage(msg);
  }
}

// A second client: asks for the artist of random tracks for `seconds` and
// checks every answer against the id it sent.
int Hammer(long requests, uint32_t seed) {
  static KernelDeviceClient client;
  if (!client.Attach(kServedSelector, KernelId(), KernelId(), 0)) {
    std::printf("attach failed\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  sigset_t start;
  sigemptyset(&start);
  sigaddset(&start, SIGUSR1);
  const timespec limit{60, 0};
  if (sigtimedwait(&start, nullptr, &limit) != SIGUSR1) {
    std::printf("never started\n");
    return 1;
  }
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(1, kMemoryTracks);
  long count = 0;
  while (count < requests) {
    int n = pick(random);
    std::string artist = client.GetTrackArtist(KernelId::FromRecordId(static_cast<uint64_t>(n)));
    if (artist != "artist-" + std::to_string(n)) {
      std::printf("mismatch %d %s\n", n, artist.c_str());
      return 1;
    }
    ++count;
  }
  std::printf("ok %ld\n", count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: kdp_peer serve <product> [mode] [life-ms] [ms] | hammer <product> <requests> <seed>\n");
    return 2;
  }
  // Blocked before any thread starts: a hammer takes its start signal with sigtimedwait.
  sigset_t start;
  sigemptyset(&start);
  sigaddset(&start, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &start, nullptr);
  std::string verb = argv[1];
  SelectProduct(argv[2], TheProductProfile());
  try {
    if (verb == "serve") {
      Options opt;
      if (argc > 3) opt.mode = argv[3];
      if (argc > 4) opt.lifeMs = static_cast<uint32_t>(std::atoi(argv[4]));
      if (argc > 5) opt.delayMs = opt.extensionMs = opt.dropAt = static_cast<uint32_t>(std::atoi(argv[5]));
      if (opt.mode != "slow") opt.delayMs = 0;
      return Serve(opt);
    }
    if (verb == "hammer" && argc > 4) {
      return Hammer(std::atol(argv[3]), static_cast<uint32_t>(std::atoi(argv[4])));
    }
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
  return 2;
}
