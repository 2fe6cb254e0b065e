// Sets the per-process environment before any test (or the registry) runs.
#include "support/hermetic_env.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/registry/registry.h"

namespace hub::test {
namespace {

std::string MakeScratch() {
  const char* keep = std::getenv("HUB_TEST_SCRATCH");
  std::string base = keep && *keep ? keep : "/tmp";
  std::string tmpl = base + "/hubtest-XXXXXX";
  char* made = ::mkdtemp(tmpl.data());
  std::string dir = made ? std::string(made) : base;
  ::setenv("HUB_RUNTIME_DIR", (dir + "/run").c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", (dir + "/config").c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/config/registry.db").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  // A dialog nobody scripted fails the test at once instead of asking a terminal.
  ::setenv("HUB_UI_DRIVER", "scripted", 1);
  ::unsetenv("HUB_UI_WAIT_MS");
  // Shared memory and semaphore names are machine-wide: keep each test's apart.
  ::setenv("HUB_OBJECT_NAMESPACE", dir.substr(dir.rfind('/') + 1).c_str(), 1);
  // The runtime folder must be private, as the layer checks.
  ::mkdir((dir + "/run").c_str(), 0700);
  std::filesystem::create_directories(dir + "/config");
  return dir;
}

struct Scratch {
  std::string dir = MakeScratch();
  pid_t owner = ::getpid();
  ~Scratch() {
    // Children forked by tests must not remove the parent's folder.
    if (::getpid() == owner && !std::getenv("HUB_TEST_KEEP")) {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  }
};

Scratch& TheScratch() {
  static Scratch s;
  return s;
}

// Every test starts with an empty settings store, so that no setting one
// test wrote decides another's result, whatever the order they run in.
class FreshSettingsPerTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    platform::Registry& registry = platform::Registry::Instance();
    for (platform::Hive hive : {platform::Hive::CurrentUser, platform::Hive::LocalMachine})
      for (const std::string& top : registry.ListSubkeys(hive, "")) registry.DeleteKey(hive, top);
  }
};

// Every test ends with the environment it started with, so that no variable
// one test set and left decides another's result, whatever the order.
class SameEnvironmentPerTest : public ::testing::EmptyTestEventListener {
  using Variables = std::map<std::string, std::string, std::less<>>;

  static Variables Current() {
    Variables all;
    for (char** entry = environ; *entry; ++entry) {
      std::string_view text(*entry);
      const size_t eq = text.find('=');
      if (eq != std::string_view::npos) all.emplace(text.substr(0, eq), text.substr(eq + 1));
    }
    return all;
  }

  void OnTestStart(const ::testing::TestInfo&) override { started_ = Current(); }
  void OnTestEnd(const ::testing::TestInfo&) override {
    const Variables now = Current();
    for (const auto& [name, value] : now) {
      if (!started_.contains(name)) ::unsetenv(name.c_str());
    }
    for (const auto& [name, value] : started_) {
      auto it = now.find(name);
      if (it == now.end() || it->second != value) ::setenv(name.c_str(), value.c_str(), 1);
    }
  }

  Variables started_;
};

// Runs before main, so the environment is in place before any static registry use.
[[maybe_unused]] const bool kInitialised = (TheScratch(), true);
// The listeners own what they are given.
[[maybe_unused]] const bool kFreshSettings =
    (::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettingsPerTest), true);
[[maybe_unused]] const bool kSameEnvironment =
    (::testing::UnitTest::GetInstance()->listeners().Append(new SameEnvironmentPerTest), true);

}  // namespace

const std::string& ScratchDir() { return TheScratch().dir; }

std::string MakeTempDir(const std::string& prefix) {
  static std::atomic<int> counter{0};
  std::string dir = ScratchDir() + "/" + prefix + std::to_string(counter++);
  std::filesystem::create_directories(dir);
  return dir;
}

void InstallProductKey(const std::string& productKey) {
  platform::Registry::Instance().CreateKey(platform::Hive::CurrentUser, productKey);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
  if (const char* was = std::getenv(name_.c_str())) previous_ = was;
  if (value) ::setenv(name_.c_str(), value->c_str(), 1);
  else ::unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
  else ::unsetenv(name_.c_str());
}

}  // namespace hub::test
