// How long a web request waits for the device while the manager does its long
// work. A real iRiver device over a folder player of 30,000 tracks and the web
// server's stream handler: the longest wait for the first byte of a stream
// request during SetTrackInfo (a tag writer slowed to 200 ms a file),
// SaveDatabase and Disconnect, next to the same wait on an idle manager and
// to how long the work itself takes; beside each, the longest wait of a thread
// that asks for the device lock itself every millisecond.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "manager/iriver/kernel_device_reaver1.h"
#include "manager/shoebox/shoebox.h"
#include "manager/tags/tag_writer.h"
#include "platform/fs/volumes.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"
#include "webserver/handler_stream.h"
#include "webserver/http_server.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 30000;
constexpr int kRounds = 5;
constexpr auto kSlowTagWrite = std::chrono::milliseconds(200);
constexpr uint32_t kStreamedId = kShoeboxFirstId;
constexpr uint32_t kTaggedId = kShoeboxFirstId + 1;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One stream request: the time from sending its head to its first byte.
Clock::duration FirstByteWait(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  timeval limit{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
  std::string head = "GET /stream/" + std::to_string(kStreamedId) + "/x.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  auto start = Clock::now();
  ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
  char byte;
  if (::recv(fd, &byte, 1, 0) != 1) std::fprintf(stderr, "a stream request got no answer\n");
  auto waited = Clock::now() - start;
  ::close(fd);
  return waited;
}

struct Figure {
  double longestWaitMs = 0;
  double longestLockWaitMs = 0;  // of a thread asking for the device lock itself, without the web server
  double workMs = 0;  // the work's own time, each round
  int requests = 0;
};

// Streams one request after another while `work` runs kRounds times on
// another thread. Only requests sent while the work runs count: `between` (the
// reconnect after a disconnect, which loads the whole database) runs while no
// request is under way, so its time is not taken for the work's.
Figure Measure(const KernelDevice& device, uint16_t port, const std::function<void()>& work,
               const std::function<void()>& between = {}) {
  Figure figure;
  Clock::duration workTime{};
  std::mutex mutex;
  std::condition_variable changed;
  bool working = false, streaming = false, done = false;
  int rounds = 0;  // rounds begun
  std::thread worker([&] {
    for (int round = 0; round < kRounds; ++round) {
      {
        std::lock_guard lock(mutex);
        working = true;
        ++rounds;
      }
      changed.notify_all();
      auto start = Clock::now();
      work();
      workTime += Clock::now() - start;
      std::unique_lock lock(mutex);
      working = false;
      changed.wait(lock, [&] { return !streaming; });
      lock.unlock();
      if (between) between();
    }
    {
      std::lock_guard lock(mutex);
      done = true;
    }
    changed.notify_all();
  });
  // Asks for the device lock every millisecond; a wait counts when it began
  // and ended within one round of the work.
  std::thread asker([&] {
    for (;;) {
      int round;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return working || done; });
        if (!working) break;
        round = rounds;
      }
      auto start = Clock::now();
      { auto held = device.Lock(); }
      double waited = Ms(Clock::now() - start);
      {
        std::lock_guard lock(mutex);
        if (working && rounds == round) figure.longestLockWaitMs = std::max(figure.longestLockWaitMs, waited);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (;;) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return working || done; });
      if (!working) break;
      streaming = true;
    }
    double waited = Ms(FirstByteWait(port));
    {
      std::lock_guard lock(mutex);
      streaming = false;
      figure.longestWaitMs = std::max(figure.longestWaitMs, waited);
      ++figure.requests;
    }
    changed.notify_all();
  }
  worker.join();
  asker.join();
  figure.workMs = Ms(workTime) / kRounds;
  return figure;
}

std::string LoadAverage() {
  double one = 0, five = 0, fifteen = 0;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf %lf %lf", &one, &five, &fifteen) != 3) one = five = fifteen = 0;
    std::fclose(f);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

void Dispatch(KernelDevice& device, uint32_t opcode, const std::function<void(KdpBlock&)>& fill = {}) {
  auto block = std::make_unique<KdpBlock>();
  block->opcode = opcode;
  if (fill) fill(*block);
  device.DispatchRequest(*block);
}

void WriteDatabase(const std::string& file, const std::string& streamed, const std::string& tagged) {
  Shoebox db;
  db.Load(nullptr, nullptr, file, u"E:\\");
  for (int i = 0; i < kTracks; ++i) {
    SBTrackV100 track;
    std::string n = std::to_string(i);
    std::string path = i == 0 ? streamed : i == 1 ? tagged : "E:\\Music\\Artist " + n + "\\Album " + n + "\\" + n + ".mp3";
    track.SetText(kTrackTextPath, Utf8ToUtf16(path));
    track.SetText(kTrackTextTitle, Utf8ToUtf16("Title of song " + n));
    track.SetText(kTrackTextArtist, Utf8ToUtf16("Artist " + n));
    track.SetText(kTrackTextAlbum, Utf8ToUtf16("Album " + n));
    db.AddTrack(std::move(track), true);
  }
  std::string error;
  if (!db.Save(nullptr, error)) {
    std::fprintf(stderr, "cannot write the database: %s\n", error.c_str());
    std::exit(1);
  }
}

void Print(const char* name, const Figure& f, double idleMs, const char* work) {
  std::printf("  %-14s %8.2f ms  lock %6.2f ms  (%.1fx idle; %d requests; %s %.1f ms each)\n", name,
              f.longestWaitMs, f.longestLockWaitMs, f.longestWaitMs / idleMs, f.requests, work, f.workMs);
}

}  // namespace

int main() {
  SelectProduct("irivmgr", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  WriteSettingDword("Gen_DisableSystrayProgress", 1);
  WriteSettingString("Gen_TempPath", test::MakeTempDir("temp"));
  std::string player = test::MakeTempDir("player");
  std::filesystem::create_directories(player + "/Music");
  if (!test::MakeMp3(player + "/Music/streamed.mp3") || !test::MakeMp3(player + "/Music/tagged.mp3")) {
    std::fprintf(stderr, "lame is needed to make the tracks\n");
    return 1;
  }
  WriteDatabase(player + "/Tarveld.sbx", "E:\\Music\\streamed.mp3", "E:\\Music\\tagged.mp3");
  ::setenv(platform::kFolderPlayersEnv, ("E=" + player + "|H300|1234ABCD").c_str(), 1);
  platform::SystemView view;
  view.mountInfoPath = "/nonexistent";
  view.readSettings = false;
  platform::VolumeTable::Instance().SetSystemView(view);

  KernelDriverReaver1 driver;
  KernelDevice* device = driver.CreateDevice(KernelId(0u), KernelId(0u));
  Dispatch(*device, kOpcodeConnect);
  if (!device->IsConnected()) {
    std::fprintf(stderr, "the player did not connect\n");
    return 1;
  }
  const std::string loadBefore = LoadAverage();
  HttpServer server(device);
  server.AddHandler(std::make_unique<HandlerStream>(&server));
  if (!server.Start(0)) return 1;
  const auto port = static_cast<uint16_t>(server.Port());

  Figure idle = Measure(*device, port, [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });

  SetTagWriteHook([](const _AUDIODATA&) { std::this_thread::sleep_for(kSlowTagWrite); });
  int renamed = 0;
  Figure tags = Measure(*device, port, [&] {
    Dispatch(*device, kOpcodeSetTrackInfo, [&](KdpBlock& b) {
      b.id1 = KernelId(kTaggedId);
      b.track.artist.Set("Artist");
      b.track.title.Set("Renamed " + std::to_string(++renamed));
      b.track.fileType = kFileTypeMp3;
    });
  });
  SetTagWriteHook({});

  auto* msc = dynamic_cast<KernelDeviceMSCBase*>(device);
  Figure save = Measure(*device, port, [&] {
    Dispatch(*device, kOpcodeSaveDatabase);
    msc->WaitForSaves(std::chrono::minutes(2));
  });

  Figure disconnect = Measure(
      *device, port, [&] { Dispatch(*device, kOpcodeDisconnect); }, [&] { Dispatch(*device, kOpcodeConnect); });

  server.Stop();
  std::printf("Longest wait for a stream request's first byte, %d tracks on the player (load %s before, %s after):\n",
              kTracks, loadBefore.c_str(), LoadAverage().c_str());
  std::printf("  (lock: the longest wait of a thread asking for the device lock itself, every millisecond)\n");
  std::printf("  %-14s %8.2f ms  lock %6.2f ms  (%d requests)\n", "idle manager", idle.longestWaitMs,
              idle.longestLockWaitMs, idle.requests);
  Print("SetTrackInfo", tags, idle.longestWaitMs, "tag write of");
  Print("SaveDatabase", save, idle.longestWaitMs, "save of");
  Print("Disconnect", disconnect, idle.longestWaitMs, "disconnect of");
  return 0;
}
