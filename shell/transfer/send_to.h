// The send-to entry: a launcher ("hubshell" + family code + ".exe") calls
// DoHubshell with its argument text; the whole transfer to the player runs in
// the launcher's process. Also the staging files through which the namespace
// hands a transfer to a launcher, and the launcher table.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "shell/transfer/path_expansion.h"

namespace hub {

struct LauncherRow {
  const char* fileName;  // "hubshellim.exe"
  const char* code;      // "im"
  uint32_t device;
  uint32_t a, b;
  bool connect;
  uint32_t targetKey;
};
inline constexpr size_t kLauncherCount = 26;
const LauncherRow (&LauncherTable())[kLauncherCount];

struct LauncherChoice {
  uint32_t device, a, b;
  bool connect;
  uint32_t targetKey;
};
// The row whose file name occurs first in table order in argv[0], else in
// the whole command line; "j1" takes JB_UseCLDriver into account.
std::optional<LauncherChoice> FindLauncher(const std::vector<std::string>& argv, uint32_t useClDriver);

// The argument text split at double quotes; pieces with nothing but blanks dropped.
std::vector<std::string> SplitSendToArguments(std::string_view arguments);
// The lines of a staging file: LF ends a line, a trailing CR is dropped, empty lines kept.
std::vector<std::string> SplitStagingLines(std::string_view text);

// What runs the transfer once the list is built (the transfer dialog's work).
struct SendToRunner {
  std::function<void(TempFile& log, const KernelId& destination, const std::vector<std::string>& files,
                     const TransferGroups& groups)>
      RunTransfer;
  std::function<void(TempFile& log, const KernelId& destination, const std::vector<std::string>& paths)>
      TransferDataFiles;
};
void SetSendToRunner(SendToRunner runner);  // none set: the transfer dialog runs it
// The process's command line (argv); tests inject one.
void SetSendToCommandLine(std::optional<std::vector<std::string>> argv);

void DoHubshell(std::string_view arguments, std::string_view name);

// Staging: writes tx2device/<pid>-<n>/_txman.dat (or _txdat.dat with the
// destination's key first) and starts the family's launcher with its path.
void StageTransferToDevice(const KernelId& destination, const std::vector<std::string>& paths);
void StageDropToDevice(const KernelId& destination, const std::vector<std::string>& paths);
// Starts a program with one argument; tests record instead.
void SetLauncherSpawner(std::function<bool(const std::string& program, const std::string& argument)> spawner);

}  // namespace hub
