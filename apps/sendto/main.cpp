// The send-to launcher, built under every family's name ("hubshellih.exe"
// ...) beside the shell library: it loads the library from its own folder and
// hands its arguments to DoHubshell, which runs the whole transfer here.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/com/module_loader.h"
#include "platform/ui/control.h"
#include "platform/program_main.h"

namespace {

using DoHubshellFunction = void (*)(const char* arguments, const char* name);

std::string OwnPath(const char* argv0) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : self.string();
}

}  // namespace

static int Main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string self = OwnPath(argv[0]);
  std::string name = fs::path(argc > 0 ? argv[0] : self).filename().string();
  // Each argument absolute and quoted, so the entry's split at quotes gives it back.
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.find_first_of("\"\r\n") != std::string::npos) {
      std::fprintf(stderr, "%s: cannot send \"%s\": a name holding a double quote or a line break\n", name.c_str(),
                   arg.c_str());
      return 2;
    }
    std::error_code ec;
    std::string absolute = fs::absolute(arg, ec).lexically_normal().string();
    arguments += (arguments.empty() ? "\"" : " \"") + (ec ? arg : absolute) + "\"";
  }
  std::string library = (fs::path(self).parent_path() / "hubshell.so").string();
  std::string error;
  auto module = hub::platform::LoadedModule::Load(library, &error);
  if (!module) {
    std::fprintf(stderr, "%s: cannot load %s: %s\n", name.c_str(), library.c_str(), error.c_str());
    return 1;
  }
  auto entry = module->Function<DoHubshellFunction>("DoHubshell");
  if (!entry) {
    std::fprintf(stderr, "%s: %s has no DoHubshell\n", name.c_str(), library.c_str());
    return 1;
  }
  hub::platform::ui::UiControlServer control;  // hubplat dialogs/press reach the transfer's windows
  entry(arguments.c_str(), name.c_str());
  return 0;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
