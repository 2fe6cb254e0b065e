// The volume table: binds drive letters to mounted removable volumes (from the
// kernel's mount table and sysfs) and to configured player folders, and
// resolves drive-letter paths to native paths inside their root.
#include "platform/fs/volumes.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/fs/mountinfo.h"
#include "platform/registry/registry.h"

namespace fs = std::filesystem;

namespace hub::platform {
namespace {

constexpr char kFirstPlayerLetter = 'D';
constexpr char kLastPlayerLetter = 'Y';  // "Z:\" stands for "no player" in the device

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// At most `cap` bytes; the buffer grows with what is read (the mount table's
// cap is 1 MiB, its text a few KiB).
std::string ReadSmallFile(const std::string& path, size_t cap = 4096) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string out;
  char chunk[16384];
  while (out.size() < cap && in) {
    in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, cap - out.size())));
    out.append(chunk, static_cast<size_t>(in.gcount()));
  }
  return out;
}

std::string TrimSpace(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

bool StatIdentity(const std::string& path, uint64_t& dev, uint64_t& ino) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  dev = st.st_dev;
  ino = st.st_ino;
  return true;
}

// udev writes unsafe bytes of a label as "\xHH".
std::string DecodeUdevName(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
      out += static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

// Name of the /dev/disk/by-<kind> link that points at the device, or "".
std::string FindDiskLink(const std::string& devDisk, const char* kind, const std::string& device) {
  std::string dir = devDisk + "/" + kind;
  std::string want = fs::path(device).filename().string();
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code lec;
    fs::path target = fs::read_symlink(it->path(), lec);
    if (!lec && target.filename().string() == want) return DecodeUdevName(it->path().filename().string());
  }
  return {};
}

uint32_t ParseHex32(std::string_view text) {
  uint32_t v = 0;
  for (char c : text) {
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    v = v << 4 | static_cast<uint32_t>(d & 0xF);
  }
  return v;
}

// Case folding of names on the player: ASCII and Latin-1 letters, over UTF-8.
std::string FoldName(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char n = static_cast<unsigned char>(out[i + 1]);
      if (n >= 0x80 && n <= 0x9E && n != 0x97) out[i + 1] = static_cast<char>(n + 0x20);
      ++i;
    }
  }
  return out;
}

// `entry` folded as FoldName folds it equals `folded` (of the same length);
// without a copy, since a folder's every entry is compared.
bool FoldsTo(std::string_view entry, std::string_view folded) {
  for (size_t i = 0; i < entry.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(entry[i]);
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<unsigned char>(c + 32);
    } else if (c == 0xC3 && i + 1 < entry.size()) {
      if (folded[i] != entry[i]) return false;
      unsigned char n = static_cast<unsigned char>(entry[++i]);
      if (n >= 0x80 && n <= 0x9E && n != 0x97) n = static_cast<unsigned char>(n + 0x20);
      c = n;
    }
    if (static_cast<unsigned char>(folded[i]) != c) return false;
  }
  return true;
}

// The entry of `dir` that `name` stands for: itself when it exists, else the
// first entry (in byte order) equal without regard to case; "" when none.
std::string MatchEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  std::string exact = dir + "/" + name;
  if (::lstat(exact.c_str(), &st) == 0) return name;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string folded = FoldName(name);
  std::string best;
  while (dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == ".." || n.size() != name.size()) continue;
    if (FoldsTo(n, folded) && (best.empty() || n < best)) best = n;
  }
  ::closedir(d);
  return best;
}

}  // namespace

std::vector<FolderPlayerConfig> ParseFolderPlayers(std::string_view text) {
  std::vector<FolderPlayerConfig> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of(";\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string entry = TrimSpace(text.substr(pos, end - pos));
    pos = end + 1;
    if (entry.empty()) continue;
    FolderPlayerConfig c;
    if (entry.size() > 2 && entry[1] == '=' && std::isalpha(static_cast<unsigned char>(entry[0]))) {
      c.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(entry[0])));
      if (c.letter < kFirstPlayerLetter || c.letter > kLastPlayerLetter) continue;
      entry = entry.substr(2);
    }
    size_t bar = entry.find('|');
    c.folder = TrimSpace(entry.substr(0, bar));
    if (bar != std::string::npos) {
      std::string rest = entry.substr(bar + 1);
      size_t bar2 = rest.find('|');
      c.label = TrimSpace(rest.substr(0, bar2));
      if (bar2 != std::string::npos) {
        std::string serial = TrimSpace(rest.substr(bar2 + 1));
        if (serial.size() > 2 && serial[0] == '0' && (serial[1] == 'x' || serial[1] == 'X')) serial = serial.substr(2);
        serial.erase(std::remove(serial.begin(), serial.end(), '-'), serial.end());
        if (serial.empty() || serial.size() > 8 ||
            !std::all_of(serial.begin(), serial.end(), [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)); }))
          continue;
        c.serial = ParseHex32(serial);
      }
    }
    if (c.folder.empty() || c.folder[0] != '/') continue;
    while (c.folder.size() > 1 && c.folder.back() == '/') c.folder.pop_back();
    out.push_back(std::move(c));
  }
  return out;
}

uint32_t SerialFromUuid(std::string_view uuid) {
  std::string hex;
  for (char c : uuid)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  if (hex.empty()) return 0;
  if (hex.size() == 16) return ParseHex32(std::string_view(hex).substr(8));
  return ParseHex32(std::string_view(hex).substr(0, std::min<size_t>(8, hex.size())));
}

namespace {
// The table in use: the process's own, or a test's scoped one.
std::atomic<VolumeTable*> g_currentTable{nullptr};
}  // namespace

VolumeTable& VolumeTable::Instance() {
  if (VolumeTable* scoped = g_currentTable.load(std::memory_order_acquire)) return *scoped;
  static VolumeTable table;
  return table;
}

ScopedVolumeTable::ScopedVolumeTable(SystemView view)
    : table_(std::move(view)), previous_(g_currentTable.exchange(&table_, std::memory_order_acq_rel)) {}

ScopedVolumeTable::~ScopedVolumeTable() { g_currentTable.store(previous_, std::memory_order_release); }

VolumeTable::VolumeTable(SystemView view) : view_(std::move(view)) {}

void VolumeTable::SetSystemView(SystemView view) {
  std::lock_guard lock(mutex_);
  view_ = std::move(view);
  probes_.clear();
  refreshedAtMs_ = -1;
}

VolumeTable::Probe VolumeTable::ProbeDevice(const std::string& device) {
  Probe p;
  std::string uuid;
  bool probed = false;
  if (view_.probeBlockDevices) {
    if (blkid_probe pr = blkid_new_probe_from_filename(device.c_str())) {
      blkid_probe_enable_superblocks(pr, 1);
      blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
      if (blkid_do_safeprobe(pr) == 0) {
        probed = true;
        const char* v = nullptr;
        size_t len = 0;
        if (blkid_probe_lookup_value(pr, "LABEL", &v, &len) == 0 && v) p.label = v;
        if (blkid_probe_lookup_value(pr, "UUID", &v, &len) == 0 && v) uuid = v;
      }
      blkid_free_probe(pr);
    }
  }
  // Without read access to the device, udev's links still name label and UUID.
  if (!probed) {
    p.label = FindDiskLink(view_.devDiskPath, "by-label", device);
    uuid = FindDiskLink(view_.devDiskPath, "by-uuid", device);
  }
  p.serial = SerialFromUuid(uuid);
  return p;
}

void VolumeTable::AddMountedLocked(std::vector<Volume>& found, std::vector<std::string>& keys) {
  std::set<std::pair<uint32_t, uint32_t>> seen;
  std::set<int> live;
  for (const MountEntry& m : ParseMountInfo(ReadSmallFile(view_.mountInfoPath, 1 << 20))) {
    live.insert(m.mountId);
    // Only whole file systems on block devices; bind mounts of parts are skipped.
    if (m.source.rfind("/dev/", 0) != 0 || m.root != "/" || m.mountPoint == "/") continue;
    if (!seen.insert({m.major, m.minor}).second) continue;
    if (ejectedMounts_.count(m.mountId)) continue;
    std::error_code ec;
    fs::path node = fs::canonical(view_.sysDevBlockPath + "/" + std::to_string(m.major) + ":" + std::to_string(m.minor), ec);
    if (ec) continue;
    fs::path disk = fs::exists(node / "partition", ec) ? node.parent_path() : node;
    bool removable = TrimSpace(ReadSmallFile((disk / "removable").string(), 16)) == "1";
    std::string where = node.string();
    bool external = where.find("/usb") != std::string::npos || where.find("/mmc") != std::string::npos;
    if (!removable && !external) continue;
    Volume v;
    v.kind = VolumeKind::Mounted;
    v.type = removable ? DriveType::Removable : DriveType::Fixed;
    v.nativeRoot = m.mountPoint;
    v.device = m.source;
    v.mountId = m.mountId;
    auto probe = probes_.find(m.mountId);
    if (probe == probes_.end()) probe = probes_.emplace(m.mountId, ProbeDevice(m.source)).first;
    v.label = probe->second.label;
    v.serial = probe->second.serial;
    if (!StatIdentity(v.nativeRoot, v.rootDevice, v.rootInode)) continue;
    found.push_back(std::move(v));
    keys.push_back("m:" + std::to_string(m.major) + ":" + std::to_string(m.minor) + ":" + m.mountPoint);
  }
  // Forget what belongs to mounts that are gone.
  for (auto it = probes_.begin(); it != probes_.end();) it = live.count(it->first) ? std::next(it) : probes_.erase(it);
  for (auto it = ejectedMounts_.begin(); it != ejectedMounts_.end();)
    it = live.count(*it) ? std::next(it) : ejectedMounts_.erase(it);
}

void VolumeTable::AddFoldersLocked(std::vector<Volume>& found, std::vector<std::string>& keys, std::vector<char>& pinned) {
  std::string text;
  if (const char* env = std::getenv(kFolderPlayersEnv)) text = env;
  if (view_.readSettings) {
    if (auto v = Registry::Instance().Read(Hive::CurrentUser, kFolderPlayersKey, kFolderPlayersSetting);
        v && v->type == ValueType::String)
      text += "\n" + v->data;
  }
  std::set<std::string> configured;
  for (const FolderPlayerConfig& c : ParseFolderPlayers(text)) {
    if (!configured.insert(c.folder).second) continue;
    Volume v;
    v.kind = VolumeKind::Folder;
    v.type = DriveType::Removable;
    v.nativeRoot = c.folder;
    v.label = c.label;
    v.serial = c.serial;
    bool present = StatIdentity(c.folder, v.rootDevice, v.rootInode);
    auto ejected = ejectedFolders_.find(c.folder);
    if (ejected != ejectedFolders_.end()) {
      // Unbound until the folder goes away and comes back.
      if (present && ejected->second == std::make_pair(v.rootDevice, v.rootInode)) continue;
      ejectedFolders_.erase(ejected);
    }
    if (!present) continue;
    found.push_back(std::move(v));
    keys.push_back("f:" + c.folder);
    pinned.push_back(c.letter);
  }
}

void VolumeTable::RefreshLocked() {
  std::vector<Volume> found;
  std::vector<std::string> keys;
  std::vector<char> pinned;

  Volume system;
  system.letter = kSystemDriveLetter;
  system.kind = VolumeKind::System;
  system.type = DriveType::Fixed;
  system.nativeRoot = "/";
  system.serial = SerialFromUuid(TrimSpace(ReadSmallFile(view_.machineIdPath, 64)).substr(0, 8));
  StatIdentity("/", system.rootDevice, system.rootInode);

  AddMountedLocked(found, keys);
  pinned.resize(found.size(), 0);
  AddFoldersLocked(found, keys, pinned);

  // Letters: pinned ones first, then the letter a binding had before, then the
  // lowest letter nobody holds; letters of absent bindings are given away last.
  std::set<char> taken = {kSystemDriveLetter};
  for (size_t i = 0; i < found.size(); ++i) {
    if (pinned[i] && !taken.count(pinned[i])) {
      found[i].letter = pinned[i];
      taken.insert(pinned[i]);
    }
  }
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i].letter) continue;
    auto had = letters_.find(keys[i]);
    if (had != letters_.end() && !taken.count(had->second)) {
      found[i].letter = had->second;
      taken.insert(had->second);
    }
  }
  std::set<char> reserved;
  for (const auto& [key, letter] : letters_) reserved.insert(letter);
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i].letter) continue;
    for (int pass = 0; pass < 2 && !found[i].letter; ++pass) {
      for (char l = kFirstPlayerLetter; l <= kLastPlayerLetter; ++l) {
        if (taken.count(l) || (pass == 0 && reserved.count(l))) continue;
        found[i].letter = l;
        taken.insert(l);
        break;
      }
    }
  }
  volumes_.clear();
  volumes_.push_back(std::move(system));
  for (size_t i = 0; i < found.size(); ++i) {
    if (!found[i].letter) continue;  // more players than letters
    for (auto it = letters_.begin(); it != letters_.end();)
      it = (it->second == found[i].letter && it->first != keys[i]) ? letters_.erase(it) : std::next(it);
    letters_[keys[i]] = found[i].letter;
    volumes_.push_back(std::move(found[i]));
  }
  std::sort(volumes_.begin(), volumes_.end(), [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
  refreshedAtMs_ = NowMs();
}

std::optional<Volume> VolumeTable::FindLocked(char letter) const {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const Volume& v : volumes_)
    if (v.letter == letter) return v;
  return std::nullopt;
}

std::vector<Volume> VolumeTable::List() {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  return volumes_;
}

std::optional<Volume> VolumeTable::Find(char letter) {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  return FindLocked(letter);
}

std::optional<Volume> VolumeTable::FindRecent(char letter, int maxAgeMs) {
  std::lock_guard lock(mutex_);
  if (refreshedAtMs_ < 0 || NowMs() - refreshedAtMs_ > maxAgeMs) RefreshLocked();
  return FindLocked(letter);
}

uint32_t VolumeTable::LogicalDriveMask() {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  uint32_t mask = 0;
  for (const Volume& v : volumes_) mask |= 1u << (v.letter - 'A');
  return mask;
}

bool VolumeTable::Unbind(char letter) {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  auto v = FindLocked(letter);
  if (!v || v->kind == VolumeKind::System) return false;
  if (v->kind == VolumeKind::Folder)
    ejectedFolders_[v->nativeRoot] = {v->rootDevice, v->rootInode};
  else
    ejectedMounts_.insert(v->mountId);
  RefreshLocked();
  return true;
}

bool VolumeTable::StillPresent(const Volume& seen) {
  std::lock_guard lock(mutex_);
  RefreshLocked();
  auto now = FindLocked(seen.letter);
  return now && now->kind == seen.kind && now->nativeRoot == seen.nativeRoot && now->rootDevice == seen.rootDevice &&
         now->rootInode == seen.rootInode && now->mountId == seen.mountId;
}

char DriveLetterOf(std::string_view path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

uint32_t LogicalDriveMask() { return VolumeTable::Instance().LogicalDriveMask(); }

std::optional<Volume> FindVolume(std::string_view root) {
  char letter = DriveLetterOf(root);
  if (!letter) return std::nullopt;
  return VolumeTable::Instance().Find(letter);
}

DriveType DriveTypeOf(std::string_view root) {
  if (!DriveLetterOf(root)) return DriveType::NoRootDir;
  auto v = FindVolume(root);
  return v ? v->type : DriveType::NoRootDir;
}

bool VolumeLabelAndSerial(std::string_view root, std::string* label, uint32_t* serial) {
  auto v = FindVolume(root);
  if (!v) return false;
  if (label) *label = v->label;
  if (serial) *serial = v->serial;
  return true;
}

namespace {

std::mutex& SimulatedSpaceMutex() {
  static std::mutex m;
  return m;
}
std::map<char, uint64_t>& SimulatedFreeSpace() {
  static std::map<char, uint64_t> space;
  return space;
}

// The space statvfs gave, with the letter's simulated free space if set.
void FillSpace(const struct statvfs& s, char letter, DiskSpace& out) {
  out.totalBytes = uint64_t(s.f_blocks) * s.f_frsize;
  out.freeBytes = uint64_t(s.f_bfree) * s.f_frsize;
  out.availableBytes = uint64_t(s.f_bavail) * s.f_frsize;
  std::lock_guard lock(SimulatedSpaceMutex());
  if (auto it = SimulatedFreeSpace().find(letter); it != SimulatedFreeSpace().end()) {
    out.freeBytes = it->second;
    out.availableBytes = it->second;
  }
}

}  // namespace

void SetSimulatedFreeSpace(char letter, std::optional<uint64_t> freeBytes) {
  std::lock_guard lock(SimulatedSpaceMutex());
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (freeBytes) SimulatedFreeSpace()[letter] = *freeBytes;
  else SimulatedFreeSpace().erase(letter);
}

bool VolumeSpace(std::string_view root, DiskSpace& out) {
  auto v = FindVolume(root);
  if (!v) return false;
  struct statvfs s;
  if (::statvfs(v->nativeRoot.c_str(), &s) != 0) return false;
  FillSpace(s, v->letter, out);
  return true;
}

namespace {

// The components of a drive path below its root; nullopt when a ".." would
// leave the root or a name holds a NUL.
std::optional<std::vector<std::string>> PathComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string_view rest = path.substr(2);
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = rest.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view part = rest.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part.find('\0') != std::string_view::npos) return std::nullopt;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
      continue;
    }
    parts.emplace_back(part);
  }
  return parts;
}

// Walks `parts` down from the folder `base` (native), matching names without
// regard to case; refused when it meets a symbolic link.
std::optional<std::string> WalkPlayerPath(const std::string& base, const std::vector<std::string>& parts) {
  std::string native = base == "/" ? "" : base;
  bool walking = true;  // names below a missing one cannot exist either
  for (const auto& p : parts) {
    std::string dir = native.empty() ? "/" : native;
    std::string name = p;
    if (walking) {
      std::string match = MatchEntry(dir, p);
      if (match.empty()) {
        walking = false;
      } else {
        name = match;
        struct stat st;
        if (::lstat((native + "/" + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return std::nullopt;
      }
    }
    native += "/" + name;
  }
  return native.empty() ? "/" : native;
}

}  // namespace

std::optional<std::string> ResolvePlayerPath(std::string_view path) {
  char letter = DriveLetterOf(path);
  if (!letter) return std::nullopt;
  auto v = VolumeTable::Instance().FindRecent(letter);
  if (!v) return std::nullopt;
  auto parts = PathComponents(path);
  if (!parts) return std::nullopt;
  if (v->kind == VolumeKind::System) {
    std::string native;
    for (const auto& p : *parts) native += "/" + p;
    return native.empty() ? "/" : native;
  }
  return WalkPlayerPath(v->nativeRoot, *parts);
}

// --- PlayerRoot

std::shared_ptr<PlayerRoot> PlayerRoot::Open(std::string_view root) {
  char letter = DriveLetterOf(root);
  if (!letter || letter == kSystemDriveLetter) return nullptr;
  auto v = VolumeTable::Instance().Find(letter);
  if (!v || v->kind == VolumeKind::System) return nullptr;
  UniqueFd fd(::open(v->nativeRoot.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return nullptr;
  return std::shared_ptr<PlayerRoot>(new PlayerRoot(std::move(fd), letter, v->nativeRoot, st.st_dev, st.st_ino));
}

PlayerRoot::PlayerRoot(UniqueFd fd, char letter, std::string nativeRoot, uint64_t device, uint64_t inode)
    : fd_(std::move(fd)), letter_(letter), nativeRoot_(std::move(nativeRoot)), device_(device), inode_(inode),
      anchor_("/proc/self/fd/" + std::to_string(fd_.get())) {}

PlayerRoot::~PlayerRoot() = default;

bool PlayerRoot::StillConnected() const {
  struct stat held {}, named {};
  if (::fstat(fd_.get(), &held) != 0 || held.st_nlink == 0) return false;  // removed
  // A lazily unmounted volume leaves its mount point naming the folder beneath it.
  if (::stat(nativeRoot_.c_str(), &named) != 0) return false;
  return named.st_dev == held.st_dev && named.st_ino == held.st_ino && held.st_dev == device_ &&
         held.st_ino == inode_;
}

bool PlayerRoot::Space(DiskSpace& out) const {
  if (!StillConnected()) return false;
  struct statvfs s;
  if (::fstatvfs(fd_.get(), &s) != 0) return false;
  FillSpace(s, letter_, out);
  return true;
}

std::optional<std::string> PlayerRoot::Resolve(std::string_view path) const {
  if (DriveLetterOf(path) != letter_) return std::nullopt;
  auto parts = PathComponents(path);
  if (!parts) return std::nullopt;
  return WalkPlayerPath(anchor_, *parts);
}

}  // namespace hub::platform
