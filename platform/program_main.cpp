// Program entry: turns an escaped failure into one line on stderr.
#include "platform/program_main.h"

#include <cstdio>
#include <exception>
#include <string>

namespace hub::platform {

int RunProgram(int (*body)(int argc, char** argv), int argc, char** argv) {
  try {
    return body(argc, argv);
  } catch (const std::exception& e) {
    std::string name = argc > 0 && argv[0] ? argv[0] : "hub";
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
    return 1;
  }
}

}  // namespace hub::platform
