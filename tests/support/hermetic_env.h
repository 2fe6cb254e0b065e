// Test support: every test process gets its own runtime folder, settings
// folder and settings store, so tests run in parallel without meeting.
#pragma once

#include <optional>
#include <string>

namespace hub::test {

// The per-process scratch folder (removed at exit).
const std::string& ScratchDir();
// A fresh folder under the scratch folder.
std::string MakeTempDir(const std::string& prefix = "t");

// Installs the product key of the profile's explorer name (as the installer would).
void InstallProductKey(const std::string& productKey);

// An environment variable set (or, with nullopt, removed) for the object's
// lifetime: programs a test starts inherit it, and later tests of the process
// see the value from before.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace hub::test
