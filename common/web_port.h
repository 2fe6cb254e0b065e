// The port the manager's web server listens on, read the same way by the
// manager and by the clients that build its addresses.
#pragma once

#include <cstdint>

namespace hub {

inline constexpr uint32_t kDefaultWebPort = 8049;

// `KW_PortT`; 0 or beyond what TCP can use gives the default.
uint32_t UsableWebPort(uint32_t stored);
uint32_t ManagerWebPort();

}  // namespace hub
