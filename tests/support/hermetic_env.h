// Test support: every test process gets its own runtime folder, settings
// folder and settings store, so tests run in parallel without meeting.
#pragma once

#include <string>

namespace hub::test {

// The per-process scratch folder (removed at exit).
const std::string& ScratchDir();
// A fresh folder under the scratch folder.
std::string MakeTempDir(const std::string& prefix = "t");

// Installs the product key of the profile's explorer name (as the installer would).
void InstallProductKey(const std::string& productKey);

}  // namespace hub::test
