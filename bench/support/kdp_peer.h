// The manager's side of the request block for benchmarks that measure a
// client against a player served by another process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace hub {
class KernelDevice;
}

namespace hub::bench {

// Runtime objects, settings and temporary files under a private folder named
// for `tag`, so a manager the user runs is never disturbed; selects the
// demo player's product. Returns the folder, for the caller to remove.
std::string UsePrivateObjects(const std::string& tag);

// Answers requests for device 10 with `device` through the product's block,
// semaphores and window, writing one byte to `readyFd` once they are taken,
// until the measuring process is gone or `limitMs` pass. Returns the
// serving process's exit status.
int ServeRequests(KernelDevice& device, int readyFd, uint32_t limitMs);

// The serving side in a forked process: `serve` runs there with the ready
// descriptor and its answer is the process's exit status. Construction waits
// for the ready byte.
class ServingProcess {
 public:
  explicit ServingProcess(const std::function<int(int readyFd)>& serve);
  ~ServingProcess() { Stop(); }
  ServingProcess(const ServingProcess&) = delete;
  ServingProcess& operator=(const ServingProcess&) = delete;

  bool started() const { return started_; }
  // Stops and reaps the process; later calls do nothing.
  void Stop();

 private:
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace hub::bench
