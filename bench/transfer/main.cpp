// bench_transfer [LARGE_COUNT LARGE_MB SMALL_COUNT SMALL_KB]: irivmgr on a
// folder player and the launcher hubshellih.exe sending N data files (default
// 4 of 64 MB, then 300 of 100 KB), against `cp --reflink=never` of the same
// files into a sibling folder followed by `sync` of those files (the copier
// fsyncs each file). Three alternating rounds per set, the best of each kept;
// the copies are compared with their sources. Prints MB/s and the ratio, and
// the ratio without the launcher's fixed start (a run sending one byte, best
// of three): loading the shell library and its media stack, attaching and
// the first requests. Then the large files back from the player as tracks:
// nshost selects them all and runs Copy to Computer (its run less a run that
// copies nothing), against cp and sync of the same files, best of three.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/clock.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::string& output) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void MakeFile(const std::string& path, size_t bytes, std::mt19937_64& random) {
  std::ofstream out(path, std::ios::binary);
  std::vector<uint64_t> block(1 << 16);
  for (size_t done = 0; done < bytes;) {
    for (auto& w : block) w = random();
    const size_t n = std::min(bytes - done, block.size() * sizeof(uint64_t));
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(n));
    done += n;
  }
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::vector<char> bx(1 << 20), by(1 << 20);
  for (;;) {
    x.read(bx.data(), std::streamsize(bx.size()));
    y.read(by.data(), std::streamsize(by.size()));
    if (x.gcount() != y.gcount()) return false;
    if (x.gcount() == 0) return true;
    if (std::memcmp(bx.data(), by.data(), size_t(x.gcount())) != 0) return false;
  }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Bench {
  fs::path dir;
  std::string log;

  // One launcher run onto a fresh player; the seconds it took, or < 0 on failure.
  double SendRound(const std::vector<std::string>& files) {
    const fs::path player = dir / "player";
    fs::remove_all(player);
    fs::create_directories(player);
    pid_t manager = Spawn({std::string(HUBWARDEN_DIR) + "/irivmgr"}, log);
    if (manager < 0) return -1;
    const auto& profile = hub::TheProductProfile();
    bool up = false;
    for (int i = 0; i < 2000 && !up; ++i) {
      up = hub::platform::FindWindowByClass(profile.windowClassName) != 0;
      if (!up) hub::platform::SleepMs(10);
    }
    hub::platform::SleepMs(300);  // the player is found and connected after the window
    std::vector<std::string> args{std::string(LAUNCHER_DIR) + "/hubshellih.exe"};
    args.insert(args.end(), files.begin(), files.end());
    const auto start = Clock::now();
    const pid_t launcher = up ? Spawn(args, log) : -1;
    const int code = launcher < 0 ? -1 : WaitFor(launcher);
    const double seconds = Seconds(Clock::now() - start);
    kill(manager, SIGTERM);
    WaitFor(manager);
    if (code != 0) return -1;
    for (const auto& f : files)
      if (!SameBytes(f, (player / "!DATA" / fs::path(f).filename()).string())) {
        std::fprintf(stderr, "copy of %s differs or is missing\n", f.c_str());
        return -1;
      }
    return seconds;
  }

  // nshost with `script`: the seconds it ran, or < 0 on failure.
  double HostRun(const std::string& script) {
    const std::string path = (dir / "host.txt").string();
    std::ofstream(path, std::ios::trunc) << script;
    const auto start = Clock::now();
    // The script answers nshost's prompts itself; the terminal driver is the launcher's.
    unsetenv("HUB_UI_DRIVER");
    const pid_t host = Spawn({std::string(NSHOST_DIR) + "/nshost", "--script", path}, log);
    setenv("HUB_UI_DRIVER", "terminal", 1);
    const int code = host < 0 ? -1 : WaitFor(host);
    return code == 0 ? Seconds(Clock::now() - start) : -1;
  }

  // The files as tracks of a fresh player (rebuilt from its files at connect),
  // copied back by Copy to Computer; the copy's seconds, or < 0 on failure.
  double CopyBackRound(const std::vector<std::string>& files) {
    const fs::path player = dir / "player", target = dir / "pc";
    fs::remove_all(player);
    fs::remove_all(target);
    fs::create_directories(player / "Bench" / "Bench");
    fs::create_directories(target);
    for (const auto& f : files) fs::copy_file(f, player / "Bench" / "Bench" / (fs::path(f).stem().string() + ".mp3"));
    std::ofstream(player / "Tarveld.iDB");  // the family's rebuild marker
    pid_t manager = Spawn({std::string(HUBWARDEN_DIR) + "/irivmgr"}, log);
    if (manager < 0) return -1;
    bool up = false;
    for (int i = 0; i < 2000 && !up; ++i) {
      up = hub::platform::FindWindowByClass(hub::TheProductProfile().windowClassName) != 0;
      if (!up) hub::platform::SleepMs(10);
    }
    hub::platform::SleepMs(300);
    const std::string list = "cd \"Audio Tracks\"\nsel all\n";
    const double idle = up ? HostRun(list + "quit\n") : -1;
    const double copy = idle < 0 ? -1 : HostRun(list + "answer folder " + target.string() + "\nkey Ctrl+C\nquit\n");
    kill(manager, SIGTERM);
    WaitFor(manager);
    if (copy < 0) return -1;
    for (const auto& f : files) {
      // Named by the copy's template from the rebuilt record's tags; the title is the file's stem.
      const std::string ending = " - " + fs::path(f).stem().string() + ".mp3";
      std::string name;
      for (const auto& entry : fs::directory_iterator(target))
        if (entry.path().filename().string().ends_with(ending)) name = entry.path().filename().string();
      if (name.empty() || !SameBytes(f, (target / name).string())) {
        std::fprintf(stderr, "copy back of %s differs or is missing\n", f.c_str());
        return -1;
      }
    }
    return std::max(copy - idle, 1e-3);
  }

  double CopyRound(const std::vector<std::string>& files) {
    const fs::path target = dir / "cp";
    fs::remove_all(target);
    fs::create_directories(target);
    std::string command = "cp --reflink=never";
    for (const auto& f : files) command += " '" + f + "'";
    command += " '" + target.string() + "/' && sync";
    for (const auto& f : files) command += " '" + (target / fs::path(f).filename()).string() + "'";
    const auto start = Clock::now();
    const int code = std::system(command.c_str());
    const double seconds = Seconds(Clock::now() - start);
    return code == 0 ? seconds : -1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int largeCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
  const int largeMb = argc > 2 ? std::max(1, std::atoi(argv[2])) : 64;
  const int smallCount = argc > 3 ? std::max(1, std::atoi(argv[3])) : 300;
  const int smallKb = argc > 4 ? std::max(1, std::atoi(argv[4])) : 100;

  Bench bench;
  bench.dir = fs::absolute(fs::temp_directory_path() / ("bench_transfer_" + std::to_string(getpid())));
  fs::create_directories(bench.dir / "run");
  bench.log = (bench.dir / "programs.log").string();
  const std::string d = bench.dir.string();
  setenv("HUB_RUNTIME_DIR", (d + "/run").c_str(), 1);
  setenv("HUB_REGISTRY", (d + "/registry.db").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (d + "/cfg").c_str(), 1);
  setenv("XDG_DATA_HOME", (d + "/data").c_str(), 1);
  setenv("TMPDIR", d.c_str(), 1);
  setenv("HUB_OBJECT_NAMESPACE", ("bench-transfer-" + std::to_string(getpid())).c_str(), 1);
  setenv("HUB_FOLDER_PLAYERS", (d + "/player|H300|4830BE00").c_str(), 1);
  setenv("HUB_UI_DRIVER", "terminal", 1);
  setenv("HUB_UI_WAIT_MS", "0", 1);
  chmod((d + "/run").c_str(), 0700);
  chmod(d.c_str(), 0700);

  hub::SelectProduct("irivmgr", hub::TheProductProfile());
  auto& registry = hub::platform::Registry::Instance();
  using hub::platform::Hive;
  using hub::platform::RegistryValue;
  const auto& product = hub::TheProductProfile().productRegistryKey;
  registry.CreateKey(Hive::CurrentUser, product);
  registry.Write(Hive::CurrentUser, product, "Vad_InstallResult", RegistryValue::Dword(0x80040000u));
  registry.Write(Hive::CurrentUser, product, "KW_Disable", RegistryValue::Dword(1));
  registry.Write(Hive::CurrentUser, product, "Gen_Tx_AutoCloseDialog", RegistryValue::Dword(1));
  registry.Write(Hive::CurrentUser, product, "", RegistryValue::String(LAUNCHER_DIR));

  // The namespace, as the installer registers it, for Copy to Computer.
  if (bench.HostRun(std::string("register ") + LAUNCHER_DIR + "/tarveldih.so\nquit\n") < 0)
    std::fprintf(stderr, "nshost could not register the namespace\n");

  std::mt19937_64 random(42);
  const std::string tiny = d + "/tiny.bin";
  MakeFile(tiny, 1, random);
  double startup = 1e30;
  for (int round = 0; round < 3; ++round) {
    const double s = bench.SendRound({tiny});
    if (s >= 0) startup = std::min(startup, s);
  }
  std::printf("launcher start (one byte sent): %.2f s\n", startup);
  struct Set {
    const char* name;
    int count;
    size_t bytes;
  } sets[] = {{"large", largeCount, size_t(largeMb) << 20}, {"small", smallCount, size_t(smallKb) << 10}};
  int failures = 0;
  for (const auto& set : sets) {
    const fs::path sources = bench.dir / (std::string("src-") + set.name);
    fs::create_directories(sources);
    std::vector<std::string> files;
    for (int i = 0; i < set.count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f%04d.bin", i);
      files.push_back((sources / name).string());
      MakeFile(files.back(), set.bytes, random);
    }
    double bestSend = 1e30, bestCopy = 1e30;
    for (int round = 0; round < 3; ++round) {
      const double send = bench.SendRound(files);
      const double copy = bench.CopyRound(files);
      if (send < 0 || copy < 0) {
        ++failures;
        continue;
      }
      bestSend = std::min(bestSend, send);
      bestCopy = std::min(bestCopy, copy);
    }
    if (bestSend >= 1e30 || bestCopy >= 1e30) {
      std::printf("%s: failed (see %s)\n", set.name, bench.log.c_str());
      continue;
    }
    const double mb = double(set.bytes) * set.count / (1 << 20);
    const double copying = std::max(bestSend - startup, 1e-6);
    std::printf("%-5s %4d x %8zu bytes: launcher %7.1f MB/s (%.2f s)   cp+sync %7.1f MB/s (%.2f s)   ratio %.2f"
                "   without the start %.2f\n",
                set.name, set.count, set.bytes, mb / bestSend, bestSend, mb / bestCopy, bestCopy,
                bestCopy / bestSend, bestCopy / copying);
    if (set.name == std::string("large")) {
      double bestBack = 1e30, bestCp = 1e30;
      for (int round = 0; round < 3; ++round) {
        const double back = bench.CopyBackRound(files);
        const double copy = bench.CopyRound(files);
        if (back < 0 || copy < 0) {
          ++failures;
          continue;
        }
        bestBack = std::min(bestBack, back);
        bestCp = std::min(bestCp, copy);
      }
      if (bestBack < 1e30 && bestCp < 1e30)
        std::printf("%-5s %4d x %8zu bytes: to computer %8.1f MB/s (%.2f s)   cp+sync %8.1f MB/s (%.2f s)   ratio %.2f\n",
                    "back", set.count, set.bytes, mb / bestBack, bestBack, mb / bestCp, bestCp, bestCp / bestBack);
      else
        std::printf("back: failed (see %s)\n", bench.log.c_str());
    }
    fs::remove_all(sources);
  }
  if (failures == 0) fs::remove_all(bench.dir);
  return failures == 0 ? 0 : 1;
}
