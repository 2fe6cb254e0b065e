// Benchmark: a simple search matching 100 of 10,000 tracks, run as the shell
// library runs it (RunSearch: parse, RunQuery, the other ids in batches of
// GetNextQueryResults, the result list) against a player served by another process, next to the
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
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/ui/driver.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/options/search_dialogs.h"
#include "sql/sql_query_engine.h"
#include "support/kdp_peer.h"
#include "support/median.h"
#include "testdevice/memory_device.h"

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTracks = 10000;
constexpr int kMatches = 100;
constexpr int kRounds = 9;
constexpr uint32_t kServeLimitMs = 300000;
constexpr const char* kText = "Needle";

// The manager's side: the player behind the request block, with the engine installed.
int Serve(int readyFd, int timesFd) {
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
  double median = bench::Median(engine);
  if (::write(timesFd, &median, sizeof median) != sizeof median) return 1;
  ::close(timesFd);

  return bench::ServeRequests(device, readyFd, kServeLimitMs);
}

}  // namespace

int main() {
  std::string dir = bench::UsePrivateObjects("searchbench");

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
  double search = bench::Median(searches);
  std::printf("simple search, %d of %d tracks, through the client: median %.2f ms\n", kMatches, kTracks, search);
  std::printf("the engine on the same statement in the manager:   median %.2f ms\n", engine);
  std::printf("ratio: %.2f (aim: at most 1.5)\n", search / engine);
  return 0;
}
