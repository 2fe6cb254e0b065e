#include "platform/fs/eject.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/fs/volumes.h"
#include "support/hermetic_env.h"

namespace fs = std::filesystem;

namespace hub::platform {
namespace {

// Stands in for udisks: answers a fixed error a number of times, then succeeds.
struct FakeUnmounter : VolumeUnmounter {
  int failWith = 0;
  int failures = 0;
  int powerOffError = 0;
  int unmountCalls = 0;
  int Unmount(const Volume&) override {
    ++unmountCalls;
    return unmountCalls <= failures ? failWith : 0;
  }
  int PowerOff(const Volume&) override { return powerOffError; }
};

// One USB stick mounted at a folder, seen through a fake mount table and sysfs.
class EjectTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<ScopedVolumeTable> volumes_;
  void SetUp() override {
    std::string base = test::MakeTempDir("machine");
    mountPoint = base + "/media/STICK";
    fs::create_directories(mountPoint);
    std::string part = base + "/sys/devices/usb1/block/sdb/sdb1";
    fs::create_directories(part);
    std::ofstream(part + "/partition") << "1\n";
    std::ofstream(base + "/sys/devices/usb1/block/sdb/removable") << "1\n";
    fs::create_directories(base + "/sys/dev/block");
    fs::create_directory_symlink(part, base + "/sys/dev/block/8:17");
    std::ofstream(base + "/mountinfo") << "41 1 8:17 / " << mountPoint << " rw - vfat /dev/sdb1 rw\n";
    SystemView view;
    view.mountInfoPath = base + "/mountinfo";
    view.sysDevBlockPath = base + "/sys/dev/block";
    view.devDiskPath = base + "/dev/disk";
    view.probeBlockDevices = false;
    view.readSettings = false;
    volumes_.emplace(view);
    ::unsetenv(kFolderPlayersEnv);
    options.unmounter = &fake;
    options.retryDelay = std::chrono::milliseconds(1);
  }
  std::string mountPoint;
  FakeUnmounter fake;
  EjectOptions options;
};

TEST_F(EjectTest, BusyVolumeIsTriedFiveTimesAndReportsCode2) {
  fake.failWith = EBUSY;
  fake.failures = 100;
  EjectResult r = EjectVolume('D', options);
  EXPECT_EQ(r.failureCode, kEjectLockFailed);
  EXPECT_EQ(r.systemError, 0);
  EXPECT_EQ(fake.unmountCalls, 5);
  EXPECT_TRUE(VolumeTable::Instance().Find('D')) << "a busy volume stays bound";
}

TEST_F(EjectTest, VolumeLetGoOfWithinTheAttemptsIsEjected) {
  fake.failWith = EBUSY;
  fake.failures = 4;
  EXPECT_TRUE(EjectVolume('D', options).ok());
  EXPECT_EQ(fake.unmountCalls, 5);
  EXPECT_FALSE(VolumeTable::Instance().Find('D'));
}

TEST_F(EjectTest, FailuresCarryTheirCodes) {
  struct Case {
    char letter;
    int failWith;
    int powerOff;
    int code;
    int error;
  } cases[] = {
      {'Q', 0, 0, kEjectOpenFailed, ENOENT},
      {'D', EPERM, 0, kEjectDismountFailed, EPERM},
      {'C', 0, 0, kEjectLockFailed, 0},
  };
  for (const auto& c : cases) {
    FakeUnmounter f;
    f.failWith = c.failWith;
    f.failures = 100;
    f.powerOffError = c.powerOff;
    options.unmounter = &f;
    EjectResult r = EjectVolume(c.letter, options);
    EXPECT_EQ(r.failureCode, c.code) << c.letter;
    EXPECT_EQ(r.systemError, c.error) << c.letter;
    EXPECT_LE(f.unmountCalls, 1);
  }
}

TEST_F(EjectTest, FailedPowerOffIsCode5) {
  fake.powerOffError = EIO;
  EjectResult r = EjectVolume('D', options);
  EXPECT_EQ(r.failureCode, kEjectMediaFailed);
  EXPECT_EQ(r.systemError, EIO);
}

TEST_F(EjectTest, FolderPlayerIsUnbound) {
  std::string folder = test::MakeTempDir("player");
  ::setenv(kFolderPlayersEnv, ("F=" + folder).c_str(), 1);
  ASSERT_TRUE(VolumeTable::Instance().Find('F'));
  EXPECT_TRUE(EjectVolume('F', options).ok());
  EXPECT_EQ(fake.unmountCalls, 0);
  EXPECT_FALSE(VolumeTable::Instance().Find('F'));
  EXPECT_TRUE(fs::is_directory(folder)) << "the folder itself is left alone";
}

}  // namespace
}  // namespace hub::platform
