// Benchmark: a simple search matching 100 of 10,000 tracks, run as the shell
// library runs it (RunSearch: parse, RunQuery, one GetNextQueryResult per id,
// the result list) against a player served by another process, next to the
// SQL engine answering the same statement inside the serving process (its
// time is measured there and reported back through a pipe, same run).
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "common/kdp_block.h"
#include "common/kdp_sequence.h"
#include "common/product_profile.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/options/search_dialogs.h"
#include "sql/sql_query_engine.h"
#include "testdevice/memory_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 10000;
constexpr int kMatches = 100;
constexpr int kRounds = 9;
constexpr uint32_t kServeLimitMs = 300000;
constexpr const char* kText = "Needle";

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The manager's side: the player behind the request block, with the engine installed.
int Serve(int readyFd, int timesFd) {
  const ProductProfile& profile = TheProductProfile();
  auto mapping = platform::SharedMapping::Create(profile.mappingName, kKdpBlockSize);
  auto* block = new (mapping->data()) KdpBlock();
  auto pre = platform::NamedSemaphore::Create(profile.preSemaphoreName, 0, 1);
  auto completion = platform::NamedSemaphore::Create(profile.completionSemaphoreName, 0, 1);
  auto extension = platform::NamedSemaphore::Create(profile.extensionSemaphoreName, 0, 1);
  InstallSqlQueryEngine();
  test::MemoryDevice device;
  device.logCalls = false;
  for (int i = 0; i < kTracks; ++i) {
    bool match = i % (kTracks / kMatches) == 0;
    device.AddTrack(match ? "The Needle Band" : "Artist " + std::to_string(i % 200), "Album " + std::to_string(i % 900),
                    "Title " + std::to_string(i), i % 20 + 1, "Genre " + std::to_string(i % 12));
  }
  // The engine alone, in this process, on the same statement.
  std::string statement = std::string(kSearchStatementHead) + SimpleSearchClause(kText) + ";";
  std::vector<double> engine;
  for (int round = 0; round < kRounds; ++round) {
    auto t0 = Clock::now();
    KernelId id;
    int n = 0;
    for (int more = device.RunQuery(statement, id); more; more = device.GetNextQueryResult(id)) ++n;
    engine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (n != kMatches) return 1;
  }
  double median = Median(engine);
  if (::write(timesFd, &median, sizeof median) != sizeof median) return 1;
  ::close(timesFd);

  platform::RegisterWindowClass(profile.windowClassName,
                                [&](platform::WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
                                  if (m != kKdpRequestMessage) return platform::DefaultWindowProc(h, m, w, l);
                                  if (!KdpRequestMatches(*block, w)) return 0;
                                  pre->Release();
                                  if (block->selector == 10) device.DispatchRequest(*block);
                                  MarkKdpAnswered(*block, static_cast<uint32_t>(w));
                                  mapping->Flush();
                                  (block->extensionTime ? extension : completion)->Release();
                                  return 0;
                                });
  platform::CreateHiddenWindow(profile.windowClassName, "");
  char ready = 'r';
  if (::write(readyFd, &ready, 1) != 1) return 1;
  ::close(readyFd);
  const uint64_t end = platform::TickCount64() + kServeLimitMs;
  platform::Message msg;
  while (platform::TickCount64() < end) {
    auto wait = platform::WaitWindowMessage(msg, 1000);
    if (wait == platform::MessageWait::Quit) break;
    if (wait == platform::MessageWait::Message) platform::DispatchWindowMessage(msg);
    if (::getppid() == 1) break;
  }
  return 0;
}

}  // namespace

int main() {
  std::string dir = std::filesystem::temp_directory_path() / ("searchbench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  ::setenv("HUB_RUNTIME_DIR", dir.c_str(), 1);
  ::setenv("HUB_OBJECT_NAMESPACE", ("searchbench" + std::to_string(::getpid())).c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", dir.c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/registry.db").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  SelectProduct("irivmgr", TheProductProfile());

  int readyPipe[2], timesPipe[2];
  if (::pipe(readyPipe) != 0 || ::pipe(timesPipe) != 0) return 1;
  pid_t server = ::fork();
  if (server == 0) {
    ::close(readyPipe[0]);
    ::close(timesPipe[0]);
    ::_exit(Serve(readyPipe[1], timesPipe[1]));
  }
  ::close(readyPipe[1]);
  ::close(timesPipe[1]);
  double engine = 0;
  bool measured = ::read(timesPipe[0], &engine, sizeof engine) == sizeof engine;
  char ready;
  bool started = measured && ::read(readyPipe[0], &ready, 1) == 1;
  ::close(readyPipe[0]);
  ::close(timesPipe[0]);

  std::vector<double> searches;
  size_t found = 0;
  if (started) {
    platform::ui::ScopedUiDriver<> quiet;  // a search that finds something asks nobody
    KernelDeviceClient client;
    if (client.Attach(10, KernelId(), KernelId(), 0)) {
      BindClient(&client);
      for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        RunSearch(SimpleSearchClause(kText));
        searches.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        found = SearchResultCount();
      }
      BindClient(nullptr);
    }
  }
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  std::filesystem::remove_all(dir);
  if (searches.empty() || found != static_cast<size_t>(kMatches)) {
    std::fprintf(stderr, "measurement failed (%zu matches)\n", found);
    return 1;
  }
  double search = Median(searches);
  std::printf("simple search, %d of %d tracks, through the client: median %.2f ms\n", kMatches, kTracks, search);
  std::printf("the engine on the same statement in the manager:   median %.2f ms\n", engine);
  std::printf("ratio: %.2f (aim: at most 1.5)\n", search / engine);
  return 0;
}
