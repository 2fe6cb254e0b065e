// The error line of the Linux layer.
#include "platform/log.h"

#include <unistd.h>

#include <string>

extern char* program_invocation_short_name;

namespace hub::platform {

void LogError(std::string_view where, std::string_view what) {
  std::string line = std::string(program_invocation_short_name) + ": ";
  line.append(where).append(": ").append(what).append("\n");
  [[maybe_unused]] ssize_t written = ::write(2, line.data(), line.size());
}

}  // namespace hub::platform
