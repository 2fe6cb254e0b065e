// Drive letters on Linux. C: is "/"; other letters are bound to mounted
// removable volumes and to folders configured as players, so a plain folder is
// a player in tests and demos and a USB stick is one for real.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

namespace hub::platform {

// Drive types keep the numbers callers compare against.
enum class DriveType : uint32_t { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

enum class VolumeKind { System, Mounted, Folder };

inline constexpr char kSystemDriveLetter = 'C';
inline constexpr std::string_view kSystemDriveRoot = "C:\\";

// Folder players: entries "[X=]folder[|label[|serial in hex]]", separated by
// newlines or ';', from this environment variable and from this string value
// under the shared settings key. The optional letter (D..Y) pins the binding.
inline constexpr const char* kFolderPlayersEnv = "HUB_FOLDER_PLAYERS";
inline constexpr std::string_view kFolderPlayersSetting = "FolderPlayers";
inline constexpr std::string_view kFolderPlayersKey = "Software\\Quorral Software\\Shared";

struct FolderPlayerConfig {
  char letter = 0;  // 0: the table picks one
  std::string folder;
  std::string label;
  uint32_t serial = 0;
};
// Entries that are not absolute folders, or pin an unusable letter, are dropped.
std::vector<FolderPlayerConfig> ParseFolderPlayers(std::string_view text);

// The 32-bit volume serial that a file system's UUID text stands for
// ("1234-ABCD" on FAT, the low half of NTFS's 64-bit number, else the first 32 bits).
uint32_t SerialFromUuid(std::string_view uuid);

struct Volume {
  char letter = 0;
  VolumeKind kind = VolumeKind::System;
  DriveType type = DriveType::Fixed;
  std::string nativeRoot;  // "/" for C:, the mount point or the folder otherwise
  std::string device;      // block device of a mounted volume
  std::string label;
  uint32_t serial = 0;
  int mountId = -1;
  // Identity of the root folder when the table last looked; a stick pulled
  // without unmounting can leave its mount-point folder behind.
  uint64_t rootDevice = 0;
  uint64_t rootInode = 0;
};

// Where the table reads the system's state; tests point it at fixtures.
struct SystemView {
  std::string mountInfoPath = "/proc/self/mountinfo";
  std::string sysDevBlockPath = "/sys/dev/block";
  std::string devDiskPath = "/dev/disk";
  std::string machineIdPath = "/etc/machine-id";
  bool probeBlockDevices = true;  // read labels with libblkid (needs read access to the device)
  bool readSettings = true;       // folder players from the settings store as well as the environment
};

// The process's letter bindings. A letter, once given to a volume or folder,
// stays with it for the life of the process while it is present. Thread-safe.
class VolumeTable {
 public:
  static VolumeTable& Instance();
  explicit VolumeTable(SystemView view = {});

  void SetSystemView(SystemView view);

  // Present volumes sorted by letter, after re-reading mounts and configuration.
  std::vector<Volume> List();
  std::optional<Volume> Find(char letter);
  // Bit n set when letter 'A' + n is bound.
  uint32_t LogicalDriveMask();
  // A folder player stays unbound until its folder is removed and made again
  // (unplugged and plugged in); a mounted volume until it is mounted again.
  bool Unbind(char letter);
  // The volume seen earlier is still bound under its letter, with the same
  // root, the same root device and inode, and (when mounted) the same mount.
  bool StillPresent(const Volume& seen);

  // Like Find, but answers from a table at most this old; path resolution runs
  // for every file operation and need not re-read the mounts each time.
  std::optional<Volume> FindRecent(char letter, int maxAgeMs = 1000);

 private:
  struct Probe {
    std::string label;
    uint32_t serial = 0;
  };
  void RefreshLocked();
  void AddMountedLocked(std::vector<Volume>& found, std::vector<std::string>& keys);
  void AddFoldersLocked(std::vector<Volume>& found, std::vector<std::string>& keys, std::vector<char>& pinned);
  Probe ProbeDevice(const std::string& device);
  std::optional<Volume> FindLocked(char letter) const;

  std::mutex mutex_;
  SystemView view_;
  std::vector<Volume> volumes_;
  int64_t refreshedAtMs_ = -1;
  std::map<std::string, char> letters_;  // binding key -> letter it was given
  std::map<int, Probe> probes_;          // by mount id
  std::map<std::string, std::pair<uint64_t, uint64_t>> ejectedFolders_;  // folder -> identity when unbound
  std::set<int> ejectedMounts_;
};

// Test hook: while in scope, the process's table (VolumeTable::Instance and
// everything below that uses it) is a fresh one over `view`, so no letter,
// ejection or probe of an earlier test leaks in; the previous table is back
// afterwards. Make and end it while nothing else uses the table.
class ScopedVolumeTable {
 public:
  explicit ScopedVolumeTable(SystemView view = {});
  ~ScopedVolumeTable();
  ScopedVolumeTable(const ScopedVolumeTable&) = delete;
  ScopedVolumeTable& operator=(const ScopedVolumeTable&) = delete;
  VolumeTable& table() { return table_; }

 private:
  VolumeTable table_;
  VolumeTable* previous_;
};

// Drive-letter forms over the process's table: roots like "E:\" (only the
// letter counts), paths like "E:\Music\a.mp3".
uint32_t LogicalDriveMask();
DriveType DriveTypeOf(std::string_view root);
std::optional<Volume> FindVolume(std::string_view root);
// False when the letter is not bound.
bool VolumeLabelAndSerial(std::string_view root, std::string* label, uint32_t* serial);

struct DiskSpace {
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;       // all free bytes
  uint64_t availableBytes = 0;  // free bytes this user may fill
};
bool VolumeSpace(std::string_view root, DiskSpace& out);
// Test seam: VolumeSpace reports this many free (and available) bytes for the
// letter instead of what the file system says; nothing removes the override.
void SetSimulatedFreeSpace(char letter, std::optional<uint64_t> freeBytes);

// "E:" at the start of a path: the upper-case letter, else 0.
char DriveLetterOf(std::string_view path);

// The native path of a drive-letter path. On a player, each existing name is
// matched without regard to case, as on its FAT volume (an exact match wins);
// names that do not exist yet are kept as given. Refused (nullopt) when the
// letter is unbound, a ".." would leave the root, a name holds a NUL, or the
// walk meets a symbolic link inside the player.
std::optional<std::string> ResolvePlayerPath(std::string_view path);

// A player's root folder held open (a directory descriptor) from connect to
// disconnect. Its paths name the descriptor (/proc/self/fd/N/...), so every
// open, rename, mkdir or unlink made with them walks from the folder that was
// connected: a folder removed and made again, or a volume unmounted lazily,
// never receives the player's files. Keep the object alive as long as a path
// made from it is in use (a copy job holds it), since the number may be reused.
class PlayerRoot {
 public:
  // The root of the volume bound to the drive of `root` ("E:\"); null when
  // the letter is unbound, the system drive, or its folder cannot be opened.
  static std::shared_ptr<PlayerRoot> Open(std::string_view root);
  ~PlayerRoot();
  PlayerRoot(const PlayerRoot&) = delete;
  PlayerRoot& operator=(const PlayerRoot&) = delete;

  // The held folder still exists and its volume's path still names it.
  bool StillConnected() const;
  // As VolumeSpace for the held folder's volume, without a look at the mount
  // table; false once the folder is no longer the connected one.
  bool Space(DiskSpace& out) const;
  // As ResolvePlayerPath, from the held folder; refused for another letter.
  std::optional<std::string> Resolve(std::string_view path) const;
  int Fd() const { return fd_.get(); }
  // The volume's folder as it was named at connect.
  const std::string& NativeRoot() const { return nativeRoot_; }

 private:
  PlayerRoot(UniqueFd fd, char letter, std::string nativeRoot, uint64_t device, uint64_t inode);
  UniqueFd fd_;
  char letter_;
  std::string nativeRoot_;
  uint64_t device_;
  uint64_t inode_;
  std::string anchor_;
};

}  // namespace hub::platform
