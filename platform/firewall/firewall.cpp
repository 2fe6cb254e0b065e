// Firewall authorisations recorded next to the runtime files.
#include "platform/firewall/firewall.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "platform/paths.h"

namespace hub::platform {
namespace {
std::string LogPath() { return RuntimeDir() + "/firewall.log"; }
}  // namespace

bool AuthorizeApplication(const FirewallApplication& app) {
  if (app.imagePath.empty()) return false;
  auto clean = [](std::string s) {
    for (char& c : s)
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s;
  };
  std::string line = clean(app.name) + "\t" + clean(app.imagePath) + "\n";
  // One append per line, so two programs never interleave.
  int fd = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  return ok;
}

std::vector<std::string> AuthorizedApplications() {
  std::vector<std::string> out;
  std::ifstream in(LogPath());
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace hub::platform
