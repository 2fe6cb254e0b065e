// The send-to entry, the staging files and the launcher table.
#include "shell/transfer/send_to.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "common/explorer_refresh.h"
#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/kernel/file_lock.h"
#include "platform/paths.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/transcode_rules.h"
#include "shell/transfer/transfer_dialog.h"

extern char** environ;

namespace hub {
namespace {

namespace ui = platform::ui;

constexpr LauncherRow kLaunchers[kLauncherCount] = {
    {"hubshellim.exe", "im", 1, 0, 0, false, 0},    {"hubshellsm.exe", "sm", 1, 0, 0, false, 1},
    {"hubshellj1.exe", "j1", 1, 1, 0, false, 0},    {"hubshellj2.exe", "j2", 0, 2, 1, false, 0},
    {"hubshellj3.exe", "j3", 0, 3, 1, false, 0},    {"hubshelljz.exe", "jz", 0, 4, 1, false, 0},
    {"hubshellcr.exe", "cr", 3, 0, 1, false, 0},    {"hubshellmv.exe", "mv", 5, 0, 1, false, 0},
    {"hubshellmn.exe", "mn", 8, 0, 1, false, 0},    {"hubshellm2.exe", "m2", 11, 0, 1, false, 0},
    {"hubshellsbim.exe", "sbim", 6, 0, 0, true, 0}, {"hubshellsbsd.exe", "sbsd", 6, 0, 0, true, 1},
    {"hubshellrt.exe", "rt", 6, 1, 0, true, 0},     {"hubshellcbim.exe", "cbim", 9, 1, 0, true, 0},
    {"hubshellcbsd.exe", "cbsd", 9, 1, 0, true, 1}, {"hubshellcaim.exe", "caim", 9, 2, 0, true, 0},
    {"hubshellcasd.exe", "casd", 9, 2, 0, true, 1}, {"hubshellnr.exe", "nr", 9, 3, 0, true, 0},
    {"hubshelleg.exe", "eg", 9, 4, 0, true, 0},     {"hubshellkm.exe", "km", 9, 5, 0, true, 0},
    {"hubshellpw.exe", "pw", 4, 0, 0, true, 1},     {"hubshellps.exe", "ps", 4, 2, 0, true, 0},
    {"hubshellih.exe", "ih", 10, 0, 0, true, 1},    {"hubshellhd.exe", "hd", 12, 0, 0, true, 1},
    {"hubshellpc.exe", "pc", 7, 0, 0, true, 1},     {"hubshelldj.exe", "dj", 0, 5, 0, true, 1},
};

constexpr size_t kMaxStagingBytes = 64 << 20;
constexpr const char* kNoFiles = "Transfer setup found no files.";
constexpr const char* kSetUpFailed = "Could not set up transfer.";

std::mutex g_hooksMutex;
SendToRunner g_runner;
std::optional<std::vector<std::string>> g_commandLine;
std::function<bool(const std::string&, const std::string&)> g_spawner;
std::atomic<unsigned> g_stagingSequence{0};

void Inform(std::string_view text) { ShowMessage(text, ui::kMbIconInformation); }

std::vector<std::string> ProcessCommandLine() {
  {
    std::lock_guard lock(g_hooksMutex);
    if (g_commandLine) return *g_commandLine;
  }
  std::vector<std::string> argv;
  std::string text;
  int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    ::close(fd);
  }
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\0', at);
    if (end == std::string::npos) end = text.size();
    argv.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return argv;
}

std::string Joined(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
  return line;
}

// A staging file is read only when it is a regular file of this user's.
bool ReadStagingFile(const std::string& path, std::vector<std::string>& lines) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            static_cast<size_t>(st.st_size) <= kMaxStagingBytes;
  std::string text;
  char buf[65536];
  for (ssize_t n; ok && (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  ::close(fd);
  if (!ok) return false;
  lines = SplitStagingLines(text);
  return true;
}

// Deletes a staging file that was read, with its request folder.
void RemoveStagingFile(const std::string& path) {
  ::unlink(path.c_str());
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.parent_path().filename() == "tx2device") ::rmdir(folder.c_str());
}

// tx2device and a new request folder in it, each private to this user;
// request folders left over for more than a day go first.
std::string MakeRequestFolder() {
  std::string base = GetTempFolder();
  if (!base.empty() && base.back() == '/') base.pop_back();
  // The temporary folder must be ours and writable by nobody else, so nobody
  // can swap the staging folder; the staging folder itself is closed to others.
  struct stat st {};
  if (::lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022))
    return {};
  std::string staging = base + "/tx2device";
  if (!platform::EnsurePrivateDir(staging).ok()) return {};
  std::error_code ec;
  auto dayAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
  for (const auto& e : std::filesystem::directory_iterator(staging, ec)) {
    std::error_code ec2;
    if (e.is_directory(ec2) && !e.is_symlink(ec2) && e.last_write_time(ec2) < dayAgo)
      std::filesystem::remove_all(e.path(), ec2);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string folder = staging + "/" + std::to_string(::getpid()) + "-" + std::to_string(g_stagingSequence++);
    if (::mkdir(folder.c_str(), 0700) == 0) return folder;
    if (errno != EEXIST) return {};
  }
  return {};
}

bool WriteWhole(int fd, const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

bool Spawn(const std::string& program, const std::string& argument) {
  {
    std::lock_guard lock(g_hooksMutex);
    if (g_spawner) return g_spawner(program, argument);
  }
  std::vector<std::string> args{argument};
  return SpawnProgram(program, args);
}

void Stage(const KernelId& destination, const std::vector<std::string>& paths, bool data) {
  std::string text;
  if (data) text = std::to_string(destination.key[0]) + "\n";
  for (const auto& p : paths) {
    if (p.find_first_of("\r\n") != std::string::npos) {  // one line a path
      Inform(kSetUpFailed);
      return;
    }
    text += p + "\n";
  }
  std::string folder = MakeRequestFolder();
  std::string file = folder + (data ? "/_txdat.dat" : "/_txman.dat");
  int fd = folder.empty() ? -1 : ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool written = fd >= 0 && WriteWhole(fd, text);
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written) {
    if (!folder.empty()) std::filesystem::remove_all(folder);
    Inform(kSetUpFailed);
    return;
  }
  std::string install;
  if (!ReadSettingString("", install) || install.empty()) {
    Inform("Could not read path to hubshellxx.exe from registry.  " + TheProductProfile().displayName +
           " was not installed properly.");
    return;  // the staging file stays, as it would for a later launcher
  }
  auto cancel = [&] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    Inform(kSetUpFailed);
  };
  std::string code;
  try {
    code = TheClient().GetFamilyCode(destination);
  } catch (const std::exception& e) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    ReportClientException("", e);
    return;
  }
  // The code comes from another process: only the table's codes make a path.
  bool known = false;
  for (const auto& row : kLaunchers) known = known || code == row.code;
  if (!known) return cancel();
  if (!install.empty() && install.back() == '/') install.pop_back();
  std::string launcher = install + "/hubshell" + code + ".exe";
  if (::access(launcher.c_str(), X_OK) != 0 || !Spawn(launcher, file)) return cancel();
}

}  // namespace

const LauncherRow (&LauncherTable())[kLauncherCount] { return kLaunchers; }

std::optional<LauncherChoice> FindLauncher(const std::vector<std::string>& argv, uint32_t useClDriver) {
  auto search = [&](const std::string& text) -> std::optional<LauncherChoice> {
    for (const auto& row : kLaunchers) {
      if (text.find(row.fileName) == std::string::npos) continue;
      LauncherChoice c{row.device, row.a, row.b, row.connect, row.targetKey};
      if (std::string_view(row.code) == "j1" && useClDriver != 0) {
        c.device = 0;
        c.b = 1;
      }
      return c;
    }
    return std::nullopt;
  };
  // The program's own name first, so a path holding another launcher's name
  // never picks another family.
  if (!argv.empty())
    if (auto c = search(argv[0])) return c;
  return search(Joined(argv));
}

std::vector<std::string> SplitSendToArguments(std::string_view arguments) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= arguments.size()) {
    size_t quote = arguments.find('"', start);
    if (quote == std::string_view::npos) quote = arguments.size();
    std::string_view piece = arguments.substr(start, quote - start);
    if (piece.find_first_not_of(' ') != std::string_view::npos) out.emplace_back(piece);
    start = quote + 1;
  }
  return out;
}

std::vector<std::string> SplitStagingLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

void SetSendToRunner(SendToRunner runner) {
  std::lock_guard lock(g_hooksMutex);
  g_runner = std::move(runner);
}

void SetSendToCommandLine(std::optional<std::vector<std::string>> argv) {
  std::lock_guard lock(g_hooksMutex);
  g_commandLine = std::move(argv);
}

void SetLauncherSpawner(std::function<bool(const std::string&, const std::string&)> spawner) {
  std::lock_guard lock(g_hooksMutex);
  g_spawner = std::move(spawner);
}

void DoHubshell(std::string_view arguments, std::string_view name) {
  // Held for the whole call and dropped by the kernel if the launcher dies,
  // so two transfers never share the logs and work files.
  std::optional<platform::FileLock> guard;
  try {
    guard.emplace(platform::FileLock::Named("STSEM"));
  } catch (const std::exception&) {
    Inform(kSetUpFailed);
    return;
  }
  if (!guard->TryLock()) {
    Inform("Another transfer is already in progress.");
    return;
  }
  std::vector<std::string> commandLine = ProcessCommandLine();
  std::vector<std::string> args = SplitSendToArguments(arguments);
  if (args.empty()) {
    Inform("Send To did not receive any filenames.");
    return;
  }
  SelectProduct(name, TheProductProfile());
  auto choice = FindLauncher(commandLine, SettingDword("JB_UseCLDriver", 0));
  if (!choice) {
    Inform("Send To was called with an invalid command-line:\n" + Joined(commandLine));
    return;
  }
  try {
    AttachClient(choice->device, KernelId(choice->a), KernelId(choice->b));
    if (choice->connect) TheClient().Connect(0);
  } catch (const std::exception& e) {
    ReportClientException("", e);
    return;
  }

  bool data = false;
  KernelId dataDestination;
  if (args.size() == 1 && (args[0].find("_txman.dat") != std::string::npos ||
                           args[0].find("_stq.dat") != std::string::npos)) {
    std::string path = args[0];
    std::vector<std::string> lines;
    if (!ReadStagingFile(path, lines)) {
      Inform(kNoFiles);
      return;
    }
    RemoveStagingFile(path);
    args = std::move(lines);
  } else if (args.size() == 1 && args[0].find("_txdat.dat") != std::string::npos) {
    std::string path = args[0];
    std::vector<std::string> lines;
    if (!ReadStagingFile(path, lines)) {
      Inform(kNoFiles);
      return;
    }
    RemoveStagingFile(path);
    data = true;
    if (!lines.empty()) dataDestination.key[0] = static_cast<uint32_t>(std::atoi(lines[0].c_str()));
    args.assign(lines.begin() + (lines.empty() ? 0 : 1), lines.end());
  }

  std::vector<std::string> files;
  TransferGroups groups;
  if (!data) {
    ExpansionLogFile log;
    ExpansionListFile list;
    log.Open();
    list.Open();
    BuildTransferFileList(log, list, args, files, groups, 0, true, false);
    if (files.empty()) {
      if (ShowMessage("No files found after path expansions.  Would you like to view the expansion log?",
                      ui::kMbYesNo | ui::kMbIconQuestion) == ui::kIdYes)
        OpenDocument(GetExpansionLogPath(), "");
      return;
    }
    bool audio = false;
    for (const auto& f : files)
      if ((audio = IsTransferable(f))) break;
    data = !audio;
  }

  SendToRunner runner;
  {
    std::lock_guard lock(g_hooksMutex);
    runner = g_runner;
  }
  TransferLogFile transferLog;
  const KernelId destination(choice->targetKey);
  if (runner.RunTransfer || runner.TransferDataFiles) {
    transferLog.Open();
    if (data && runner.TransferDataFiles) runner.TransferDataFiles(transferLog, dataDestination, args);
    else if (!data && runner.RunTransfer) runner.RunTransfer(transferLog, destination, files, groups);
    RefreshExplorerAfterChange();
    return;
  }
  CTransferDialog& dialog = TheTransferDialog();
  dialog.SetDeviceLink(ClientTransferLink());
  dialog.CreateTransferWindow();
  struct WindowCloser {
    CTransferDialog& dialog;
    ~WindowCloser() { dialog.DestroyTransferWindow(); }
  } closer{dialog};
  transferLog.Open();
  if (data) dialog.TransferDataFiles(transferLog, dataDestination, args);
  else dialog.RunTransfer(transferLog, destination, std::move(files), groups, false, false);
  transferLog.Close();
}

void StageTransferToDevice(const KernelId& destination, const std::vector<std::string>& paths) {
  Stage(destination, paths, false);
}

void StageDropToDevice(const KernelId& destination, const std::vector<std::string>& paths) {
  Stage(destination, paths, true);
}

}  // namespace hub
