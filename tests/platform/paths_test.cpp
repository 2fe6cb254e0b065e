// The per-user runtime and temporary folders: made private, and refused when
// somebody else could have planted them in the shared temporary folder.
#include "platform/paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

namespace fs = std::filesystem;

TEST(PrivateFolderTest, MissingFolderIsMadePrivate) {
  std::string dir = test::MakeTempDir("private") + "/a/b";
  ASSERT_TRUE(EnsurePrivateDir(dir).ok());
  struct stat st {};
  ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsurePrivateDir(dir).ok()) << "a folder that is already private is kept";
}

// Runs `body` in a child process whose environment points the default folders
// at `tmp`, so no thread of the test process reads an environment being changed.
int InChildWithTemp(const std::string& tmp, const std::function<int()>& body) {
  test::ChildProcess child([&] {
    ::unsetenv("HUB_RUNTIME_DIR");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", tmp.c_str(), 1);
    return body();
  });
  auto status = child.Wait(20000);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// Each planted folder is refused with a message naming the folder and the reason,
// directly and through RuntimeDir and PrivateTempDir, which make theirs in the
// shared temporary folder.
TEST(PrivateFolderTest, PlantedFoldersAreRefused) {
  struct Case {
    const char* name;
    std::function<bool(const std::string& path, const std::string& scratch)> plant;  // false: cannot here
    const char* reason;
  };
  const Case cases[] = {
      {"owned by another user",
       [](const std::string& path, const std::string&) {
         if (::geteuid() != 0) return false;  // only root can give a folder away
         return ::mkdir(path.c_str(), 0700) == 0 && ::chown(path.c_str(), 4321, 4321) == 0;
       },
       "belongs to user 4321"},
      {"open to everybody",
       [](const std::string& path, const std::string&) {
         return ::mkdir(path.c_str(), 0700) == 0 && ::chmod(path.c_str(), 0777) == 0;
       },
       "other users may use it (mode 0777)"},
      {"readable by the group",
       [](const std::string& path, const std::string&) {
         return ::mkdir(path.c_str(), 0700) == 0 && ::chmod(path.c_str(), 0740) == 0;
       },
       "(mode 0740)"},
      {"a symbolic link to a private folder",
       [](const std::string& path, const std::string& scratch) {
         std::string target = scratch + "/elsewhere";
         fs::create_directory(target);
         ::chmod(target.c_str(), 0700);
         return ::symlink(target.c_str(), path.c_str()) == 0;
       },
       "it is a symbolic link"},
      {"a file",
       [](const std::string& path, const std::string&) {
         int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
         return fd >= 0 && ::close(fd) == 0;
       },
       "it is not a folder"},
  };
  std::string uid = std::to_string(::getuid());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string tmp = test::MakeTempDir("shared");
    ::chmod(tmp.c_str(), 01777);
    for (const std::string& name : {"hub-" + uid, "hub-temp-" + uid}) {
      std::string path = tmp + "/" + name;
      if (!c.plant(path, tmp)) {
        std::printf("[ SKIPPED  ] %s: needs root\n", c.name);
        break;
      }
      Status status = EnsurePrivateDir(path);
      EXPECT_FALSE(status.ok());
      EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
      EXPECT_NE(status.message().find(c.reason), std::string::npos) << status.message();
      bool temp = name.rfind("hub-temp-", 0) == 0;
      int refused = InChildWithTemp(tmp, [&] {
        try {
          temp ? PrivateTempDir() : RuntimeDir();
          return 1;
        } catch (const std::runtime_error& e) {
          return std::string(e.what()) == status.message() ? 0 : 2;
        }
      });
      EXPECT_EQ(refused, 0) << (temp ? "PrivateTempDir" : "RuntimeDir") << " did not refuse " << path;
    }
  }
}

TEST(PrivateFolderTest, DefaultFoldersAreMadePerUserInTheSharedTemporaryFolder) {
  std::string tmp = test::MakeTempDir("shared");
  std::string uid = std::to_string(::getuid());
  int made = InChildWithTemp(tmp, [&] {
    return RuntimeDir() == tmp + "/hub-" + uid && PrivateTempDir() == tmp + "/hub-temp-" + uid ? 0 : 1;
  });
  ASSERT_EQ(made, 0);
  for (const std::string& dir : {tmp + "/hub-" + uid, tmp + "/hub-temp-" + uid}) {
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
}

}  // namespace
}  // namespace hub::platform
