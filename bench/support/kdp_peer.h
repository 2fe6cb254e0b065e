// The manager's side of the request block for benchmarks that measure a
// client against a player served by another process.
#pragma once

#include <cstdint>
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

}  // namespace hub::bench
