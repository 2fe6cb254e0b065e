#include "platform/fs/volumes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/fs/attributes.h"
#include "platform/fs/mountinfo.h"
#include "platform/registry/registry.h"
#include "support/hermetic_env.h"

namespace fs = std::filesystem;

namespace hub::platform {
namespace {

void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

TEST(MountInfoTest, ParsesFieldsEscapesAndSkipsMalformedLines) {
  std::string text =
      "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "97 28 8:17 / /media/me/MY\\040STICK rw,nosuid shared:5 master:1 - vfat /dev/sdb1 rw,uid=1000\n"
      "garbage line\n"
      "98 28 8:x / /x rw - vfat /dev/sdc1 rw\n"
      "99 28 8:33 /sub /mnt/bind rw - vfat /dev/sdc1 rw";  // no trailing newline
  auto entries = ParseMountInfo(text);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].mountId, 97);
  EXPECT_EQ(entries[1].major, 8u);
  EXPECT_EQ(entries[1].minor, 17u);
  EXPECT_EQ(entries[1].mountPoint, "/media/me/MY STICK");
  EXPECT_EQ(entries[1].fsType, "vfat");
  EXPECT_EQ(entries[1].source, "/dev/sdb1");
  EXPECT_EQ(entries[2].root, "/sub");
  EXPECT_EQ(DecodeMountField("a\\134b\\011c\\0"), "a\\b\tc\\0");
}

TEST(FolderPlayersTest, ParsesEntries) {
  auto players = ParseFolderPlayers(" /p/one ; e=/p/two|IHP-120|1234-abcd\n/p/three/|Label\n"
                                    "relative|x\nZ=/p/z\n/p/bad|L|xyz\n/p/four||0xFF");
  ASSERT_EQ(players.size(), 4u);
  EXPECT_EQ(players[0].folder, "/p/one");
  EXPECT_EQ(players[0].letter, 0);
  EXPECT_EQ(players[1].letter, 'E');
  EXPECT_EQ(players[1].label, "IHP-120");
  EXPECT_EQ(players[1].serial, 0x1234ABCDu);
  EXPECT_EQ(players[2].folder, "/p/three");
  EXPECT_EQ(players[2].label, "Label");
  EXPECT_EQ(players[3].serial, 0xFFu);
}

TEST(FolderPlayersTest, SerialFromUuid) {
  struct Case {
    const char* uuid;
    uint32_t serial;
  } cases[] = {{"1234-ABCD", 0x1234ABCD},
               {"0123456789ABCDEF", 0x89ABCDEF},
               {"e3b0c442-98fc-1c14-9afb-f4c8996fb924", 0xE3B0C442},
               {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(SerialFromUuid(c.uuid), c.serial) << c.uuid;
}

// A fake machine: a USB stick partition, an internal disk and a bind mount.
struct FakeMachine {
  std::string base = test::MakeTempDir("machine");
  std::string stick = base + "/media/STICK";
  std::string internal = base + "/data";
  SystemView view;

  FakeMachine() {
    ::unsetenv(kFolderPlayersEnv);  // the machine's mounts alone, whatever an earlier test configured
    fs::create_directories(stick);
    fs::create_directories(internal);
    std::string usbDisk = base + "/sys/devices/pci0/usb1/1-1/host6/block/sdb";
    std::string sataDisk = base + "/sys/devices/pci0/ata1/host0/block/sda";
    WriteFile(usbDisk + "/removable", "1\n");
    WriteFile(usbDisk + "/sdb1/partition", "1\n");
    WriteFile(sataDisk + "/removable", "0\n");
    WriteFile(sataDisk + "/sda2/partition", "2\n");
    fs::create_directories(base + "/sys/dev/block");
    fs::create_directory_symlink(usbDisk + "/sdb1", base + "/sys/dev/block/8:17");
    fs::create_directory_symlink(sataDisk + "/sda2", base + "/sys/dev/block/8:2");
    fs::create_directories(base + "/dev/disk/by-label");
    fs::create_directories(base + "/dev/disk/by-uuid");
    fs::create_symlink("../../sdb1", base + "/dev/disk/by-label/MY\\x20PLAYER");
    fs::create_symlink("../../sdb1", base + "/dev/disk/by-uuid/4A3B-0C12");
    fs::create_symlink("../../sda2", base + "/dev/disk/by-label/DATA");
    WriteFile(base + "/machine-id", "0f1e2d3c4b5a69788796a5b4c3d2e1f0\n");
    WriteFile(base + "/mountinfo",
              "28 1 254:0 / / rw - ext4 /dev/vda rw\n"
              "40 28 8:2 / " + internal + " rw - ext4 /dev/sda2 rw\n"
              "41 28 8:17 / " + stick + " rw - vfat /dev/sdb1 rw\n"
              "42 28 8:17 / " + internal + " rw - vfat /dev/sdb1 rw\n");
    view.mountInfoPath = base + "/mountinfo";
    view.sysDevBlockPath = base + "/sys/dev/block";
    view.devDiskPath = base + "/dev/disk";
    view.machineIdPath = base + "/machine-id";
    view.probeBlockDevices = false;
    view.readSettings = false;
  }
};

TEST(VolumeTableTest, BindsRemovableMountsAndTheSystemDrive) {
  FakeMachine m;
  VolumeTable table(m.view);
  auto list = table.List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].letter, 'C');
  EXPECT_EQ(list[0].nativeRoot, "/");
  EXPECT_EQ(list[0].serial, 0x0F1E2D3Cu);
  EXPECT_EQ(list[1].letter, 'D');
  EXPECT_EQ(list[1].kind, VolumeKind::Mounted);
  EXPECT_EQ(list[1].type, DriveType::Removable);
  EXPECT_EQ(list[1].nativeRoot, m.stick);
  EXPECT_EQ(list[1].device, "/dev/sdb1");
  EXPECT_EQ(list[1].label, "MY PLAYER");
  EXPECT_EQ(list[1].serial, 0x4A3B0C12u);
  EXPECT_EQ(table.LogicalDriveMask(), (1u << 2) | (1u << 3));
}

TEST(VolumeTableTest, AMountTableLongerThanOneReadIsReadWhole) {
  FakeMachine m;
  std::string table;
  for (int i = 0; i < 600; ++i)
    table += std::to_string(100 + i) + " 28 0:" + std::to_string(50 + i) + " / /run/user/" + std::to_string(i) +
             " rw,nosuid,nodev - tmpfs tmpfs rw,size=1024k,mode=700\n";
  ASSERT_GT(table.size(), 32768u);
  WriteFile(m.view.mountInfoPath, "28 1 254:0 / / rw - ext4 /dev/vda rw\n" + table + "41 28 8:17 / " + m.stick +
                                      " rw - vfat /dev/sdb1 rw\n");
  VolumeTable volumes(m.view);
  auto d = volumes.Find('D');
  ASSERT_TRUE(d);
  EXPECT_EQ(d->nativeRoot, m.stick);
}

TEST(VolumeTableTest, FolderPlayersKeepTheirLettersAndUnplugByRemoval) {
  std::string a = test::MakeTempDir("playerA"), b = test::MakeTempDir("playerB"), c = test::MakeTempDir("playerC");
  ::setenv(kFolderPlayersEnv, (a + "|IHP-120|0000BEEF;" + b + ";G=" + c).c_str(), 1);
  SystemView view;
  view.mountInfoPath = "/nonexistent";
  view.readSettings = false;
  VolumeTable table(view);
  auto d = table.Find('D');
  ASSERT_TRUE(d);
  EXPECT_EQ(d->nativeRoot, a);
  EXPECT_EQ(d->kind, VolumeKind::Folder);
  EXPECT_EQ(d->type, DriveType::Removable);
  EXPECT_EQ(d->label, "IHP-120");
  EXPECT_EQ(d->serial, 0xBEEFu);
  EXPECT_EQ(table.Find('E')->nativeRoot, b);
  EXPECT_EQ(table.Find('G')->nativeRoot, c);
  EXPECT_TRUE(table.StillPresent(*d));

  // Unplugging A frees D, but B does not move into it and A gets D back.
  std::string again = test::MakeTempDir("again");
  fs::remove_all(a);
  EXPECT_FALSE(table.StillPresent(*d));
  EXPECT_FALSE(table.Find('D'));
  EXPECT_EQ(table.Find('E')->nativeRoot, b);
  // Plugged in again: a new folder (made beside the old one, so its inode differs).
  fs::rename(again, a);
  ASSERT_TRUE(table.Find('D'));
  EXPECT_EQ(table.Find('D')->nativeRoot, a);
  // Same letter and folder, but not the volume seen before.
  EXPECT_FALSE(table.StillPresent(*d));
}

TEST(VolumeTableTest, UnboundFolderReturnsOnlyWhenMadeAgain) {
  std::string a = test::MakeTempDir("player");
  ::setenv(kFolderPlayersEnv, a.c_str(), 1);
  SystemView view;
  view.mountInfoPath = "/nonexistent";
  view.readSettings = false;
  VolumeTable table(view);
  ASSERT_TRUE(table.Find('D'));
  EXPECT_TRUE(table.Unbind('D'));
  EXPECT_FALSE(table.Find('D'));
  EXPECT_FALSE(table.Unbind('C'));
  fs::remove_all(a);
  EXPECT_FALSE(table.Find('D'));
  fs::create_directories(a);
  EXPECT_TRUE(table.Find('D'));
}

TEST(VolumeTableTest, FolderPlayersFromTheSettingsStore) {
  std::string a = test::MakeTempDir("player");
  Registry::Instance().CreateKey(Hive::CurrentUser, kFolderPlayersKey);
  Registry::Instance().Write(Hive::CurrentUser, kFolderPlayersKey, kFolderPlayersSetting,
                             RegistryValue::String("F=" + a + "|FROMREG|12"));
  ::unsetenv(kFolderPlayersEnv);
  ScopedVolumeTable volumes([] {
    SystemView v;
    v.mountInfoPath = "/nonexistent";
    return v;
  }());
  std::string label;
  uint32_t serial = 0;
  ASSERT_TRUE(VolumeLabelAndSerial("f:\\", &label, &serial));
  EXPECT_EQ(label, "FROMREG");
  EXPECT_EQ(serial, 0x12u);
  EXPECT_EQ(DriveTypeOf("F:\\"), DriveType::Removable);
  EXPECT_EQ(DriveTypeOf("C:\\"), DriveType::Fixed);
  EXPECT_EQ(DriveTypeOf("Q:\\"), DriveType::NoRootDir);
  DiskSpace space;
  ASSERT_TRUE(VolumeSpace("F:\\", space));
  EXPECT_GT(space.totalBytes, 0u);
  EXPECT_LE(space.availableBytes, space.freeBytes);
  EXPECT_LE(space.freeBytes, space.totalBytes);
  EXPECT_FALSE(VolumeSpace("Q:\\", space));
}

class ResolveTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<ScopedVolumeTable> volumes_;
  void SetUp() override {
    root = test::MakeTempDir("player");
    ::setenv(kFolderPlayersEnv, ("E=" + root).c_str(), 1);
    SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
    fs::create_directories(root + "/Music/ABBA");
    WriteFile(root + "/Music/ABBA/Waterloo.mp3", "x");
    WriteFile(root + "/Music/Élan.mp3", "x");
  }
  std::string root;
};

TEST_F(ResolveTest, MatchesNamesWithoutRegardToCase) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"E:\\music\\abba\\WATERLOO.MP3", root + "/Music/ABBA/Waterloo.mp3"},
      {"e:/MUSIC//./abba/", root + "/Music/ABBA"},
      {"E:\\Music\\élan.mp3", root + "/Music/Élan.mp3"},
      {"E:\\music\\New Folder\\new.mp3", root + "/Music/New Folder/new.mp3"},
      {"E:\\Music\\..\\music\\abba", root + "/Music/ABBA"},
      {"E:\\", root},
      {"C:\\etc\\hostname", "/etc/hostname"},
  };
  for (const auto& c : cases) {
    auto native = ResolvePlayerPath(c.in);
    ASSERT_TRUE(native) << c.in;
    EXPECT_EQ(*native, c.out) << c.in;
  }
}

TEST_F(ResolveTest, ExactNameWinsOverOtherCase) {
  WriteFile(root + "/Music/abba.txt", "1");
  WriteFile(root + "/Music/ABBA.TXT", "2");
  EXPECT_EQ(*ResolvePlayerPath("E:\\Music\\abba.txt"), root + "/Music/abba.txt");
  EXPECT_EQ(*ResolvePlayerPath("E:\\Music\\ABBA.TXT"), root + "/Music/ABBA.TXT");
}

// The held root answers the space the letter's volume has, simulated or not,
// and nothing once its folder is gone.
TEST_F(ResolveTest, TheHeldRootGivesTheSpaceOfItsVolume) {
  auto held = PlayerRoot::Open("E:\\");
  ASSERT_TRUE(held);
  DiskSpace byRoot, byLetter;
  ASSERT_TRUE(held->Space(byRoot));
  ASSERT_TRUE(VolumeSpace("E:\\", byLetter));
  EXPECT_EQ(byRoot.totalBytes, byLetter.totalBytes);
  EXPECT_GT(byRoot.totalBytes, 0u);
  SetSimulatedFreeSpace('e', 4096);
  ASSERT_TRUE(held->Space(byRoot));
  EXPECT_EQ(byRoot.freeBytes, 4096u);
  EXPECT_EQ(byRoot.availableBytes, 4096u);
  SetSimulatedFreeSpace('E', std::nullopt);
  fs::remove_all(root);
  EXPECT_FALSE(held->Space(byRoot));
  EXPECT_FALSE(VolumeSpace("E:\\", byLetter));
}

TEST_F(ResolveTest, RefusesPathsThatLeaveTheRoot) {
  fs::create_directory_symlink("/etc", root + "/link");
  for (const std::string& bad : std::vector<std::string>{"E:\\..\\x", "E:\\Music\\..\\..\\etc", "E:\\link\\hostname", "Q:\\a", "\\a", "",
                          std::string("E:\\a\0b", 6)})
    EXPECT_FALSE(ResolvePlayerPath(bad)) << bad;
}

TEST(AttributesTest, HiddenAndSystemRoundTripWhereTheFileSystemKeepsThem) {
  std::string dir = test::MakeTempDir("attr");
  std::string file = dir + "/db.sbx";
  WriteFile(file, "x");
  EXPECT_EQ(ReadFileAttributes(file), kAttributeNormal);
  EXPECT_EQ(ReadFileAttributes(dir) & kAttributeDirectory, kAttributeDirectory);
  EXPECT_EQ(ReadFileAttributes(dir + "/missing"), kInvalidAttributes);
  ASSERT_TRUE(WriteFileAttributes(file, kAttributeHidden | kAttributeSystem));
  uint32_t got = ReadFileAttributes(file);
  if (got == kAttributeNormal) GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_EQ(got, kAttributeHidden | kAttributeSystem);
  ASSERT_TRUE(WriteFileAttributes(file, kAttributeNormal));
  EXPECT_EQ(ReadFileAttributes(file), kAttributeNormal);
  EXPECT_FALSE(WriteFileAttributes(dir + "/missing", kAttributeHidden));
}

}  // namespace
}  // namespace hub::platform
