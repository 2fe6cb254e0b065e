// Authorising a program to accept connections. Linux has no per-program
// firewall list the system could add to, so each authorisation is recorded
// in "<runtime dir>/firewall.log" (so a person or test can see it) and succeeds.
#pragma once

#include <string>
#include <vector>

namespace hub::platform {

struct FirewallApplication {
  std::string imagePath;  // full path of the program
  std::string name;       // shown to the user
  int scope = 0;          // 0: all addresses
  int ipVersion = 2;      // 2: any
  bool enabled = true;
};

// Adds the program to the authorised applications; false when it could not be recorded.
bool AuthorizeApplication(const FirewallApplication& app);
// The recorded authorisations, one "name<TAB>path" line each.
std::vector<std::string> AuthorizedApplications();

}  // namespace hub::platform
