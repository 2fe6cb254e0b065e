// A module for the loader test: its attach answers by its file name (a name
// with "refuse" in it refuses to load) and it counts attaches and detaches in
// the process environment, which outlives the module.
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Bump(const char* name) {
  const char* v = std::getenv(name);
  setenv(name, std::to_string((v ? std::atoi(v) : 0) + 1).c_str(), 1);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int DllMain(void* /*instance*/, uint32_t reason, void* /*reserved*/) {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&DllMain), &info);
  if (reason == 1) {
    Bump("COM_TEST_ATTACHES");
    return info.dli_fname && std::strstr(info.dli_fname, "refuse") ? 0 : 1;
  }
  Bump("COM_TEST_DETACHES");
  return 1;
}

extern "C" __attribute__((visibility("default"))) int ComTestAnswer() { return 42; }
