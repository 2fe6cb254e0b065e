// Device-wide behaviour of mass-storage players: finding the drive, connecting
// (loading or rebuilding the database), disconnecting, saving in the
// background, the unplug watcher, identity, names and storage sizes.
#include "manager/msc/kernel_device_msc_base.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/text.h"
#include "common/utf16.h"
#include "platform/fs/attributes.h"
#include "platform/fs/whole_file.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

// Requests being dispatched on this thread; their messages wait for the outermost one.
thread_local int tlsDispatchDepth = 0;

bool NativeExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The UI of a device whose driver is not of the family (none in the program).
DeviceUi& FallbackUi() {
  static QuietDeviceUi ui;
  return ui;
}

}  // namespace

uint32_t StorageKilobytes(uint64_t bytes) {
  uint64_t kb = bytes / 1024;
  return static_cast<uint32_t>(kb > 0xFFFFFFFFull ? 0xFFFFFFFFull : kb);
}

KernelDriverMSCBase::KernelDriverMSCBase()
    : KernelDriver("Base Driver"), ui_(std::make_unique<QuietDeviceUi>()) {}

KernelDriverMSCBase::~KernelDriverMSCBase() = default;

KernelDeviceMSCBase::KernelDeviceMSCBase(KernelDriver* driver, const KernelId& idA, const KernelId& idB)
    : KernelDevice(driver, idA, idB),
      notes_(TextItemKind::Notes, [this](std::string_view p) { return NativePath(p); },
             [this](std::string_view text) { SetNotice(text); }),
      contacts_(TextItemKind::Contacts, [this](std::string_view p) { return NativePath(p); },
                [this](std::string_view text) { SetNotice(text); }) {
  watcher_ = std::thread([this] { WatchLoop(); });
  saver_ = std::thread([this] { SaveLoop(); });
}

KernelDeviceMSCBase::~KernelDeviceMSCBase() { StopWorkers(); }

void KernelDeviceMSCBase::StopWorkers() {
  {
    std::lock_guard lock(workersMutex_);
    if (stopping_ && !watcher_.joinable() && !saver_.joinable()) return;
    stopping_ = true;
  }
  workersWake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  if (saver_.joinable()) saver_.join();
  // Copies end while the family is whole: their callbacks use the device.
  copier_.Shutdown();
  ShowQueuedMessages();
}

void KernelDeviceMSCBase::DispatchRequest(KdpBlock& block) {
  struct Depth {
    Depth() { ++tlsDispatchDepth; }
    ~Depth() { --tlsDispatchDepth; }
  };
  {
    Depth depth;
    KernelDevice::DispatchRequest(block);
  }
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
}

void KernelDeviceMSCBase::QueueMessage(std::string text, bool topmost) {
  std::lock_guard lock(messagesMutex_);
  messages_.push_back({std::move(text), topmost});
}

void KernelDeviceMSCBase::ShowQueuedMessages() {
  std::vector<UserMessage> pending;
  {
    std::lock_guard lock(messagesMutex_);
    pending.swap(messages_);
  }
  for (const UserMessage& m : pending) ShowMessageBox(m);
}

DeviceUi& KernelDeviceMSCBase::Ui() const {
  auto* driver = dynamic_cast<KernelDriverMSCBase*>(Driver());
  return driver ? driver->Ui() : FallbackUi();
}

void KernelDeviceMSCBase::ShowMessageBox(const UserMessage& message) { Ui().ShowMessage(message); }

std::unique_ptr<ShoeboxProgressMonitor> KernelDeviceMSCBase::MakeProgress(const std::string& text, int range) {
  return Ui().MakeProgress(text, range);
}

int KernelDeviceMSCBase::EjectVolume(const std::string& root) {
  return QuickEjectVolume(root, [this](UserMessage m) { QueueMessage(std::move(m.text), m.topmost); });
}

std::optional<std::string> KernelDeviceMSCBase::NativePath(std::string_view playerPath) const {
  // Through the root held since connect; a root that is no longer the one
  // connected refuses every path, so nothing lands where the player used to be.
  if (!connected_ || !playerRoot_ || !playerRoot_->StillConnected()) return std::nullopt;
  return playerRoot_->Resolve(playerPath);
}

bool KernelDeviceMSCBase::IsSystemFile(std::string_view playerPath) const {
  if (playerPath.size() < 2 || !EqualsNoCase(playerPath.substr(0, 2), std::string_view(root_).substr(0, 2))) return false;
  // The path below the root as the file system walks it: no ".", "..", or doubled separators.
  std::vector<std::string> parts;
  std::vector<std::string> split;
  SplitString(split, playerPath.substr(2), "\\/");
  for (std::string& part : split) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  if (parts.empty()) return false;
  if (parts.size() > 1 && EqualsNoCase(parts[0], family_.playlistFolder)) return true;
  std::string rest;
  for (const std::string& part : parts) rest += (rest.empty() ? "" : "\\") + part;
  std::string database = family_.databaseSubfolder + family_.databaseFileName;
  auto sameOrTemporary = [&](const std::string& name) {
    return !name.empty() && (EqualsNoCase(rest, name) || EqualsNoCase(rest, name + ".tmp"));
  };
  if (sameOrTemporary(database) || sameOrTemporary(family_.rebuildMarker)) return true;
  // "<database>.bak" and "<database>.<time>.bak".
  if (rest.size() >= database.size() + 4 && EqualsNoCase(rest.substr(0, database.size() + 1), database + ".") &&
      EqualsNoCase(rest.substr(rest.size() - 4), ".bak"))
    return true;
  for (const std::string& own : family_.ownFiles)
    if (sameOrTemporary(own)) return true;
  return false;
}

void KernelDeviceMSCBase::RemoveStaleTemporaries() {
  // Left by a rewrite that a crash or an unplug broke off; the files they stand for are whole.
  std::vector<std::string> names{family_.databaseSubfolder + family_.databaseFileName};
  for (const std::string& own : family_.ownFiles) names.push_back(own);
  for (const std::string& name : names) {
    auto native = NativePath(root_ + name + ".tmp");
    struct stat st {};
    if (native && ::lstat(native->c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(native->c_str());
  }
}

void KernelDeviceMSCBase::RequireConnected() const {
  // A player unplugged a moment ago counts as not connected before the watcher sees it.
  if (!connected_ || !playerRoot_ || !playerRoot_->StillConnected())
    throw std::runtime_error("No " + family_.deviceNoun + " is connected.");
}

std::string KernelDeviceMSCBase::DatabasePath() const {
  return root_ + family_.databaseSubfolder + family_.databaseFileName;
}

void KernelDeviceMSCBase::GetDriverName() { SetNotice(Driver() ? Driver()->GetText() : "Base Driver"); }

int KernelDeviceMSCBase::ScanDrives(std::string& root) {
  std::string systemDrive(platform::kSystemDriveRoot);
  uint32_t mask = platform::LogicalDriveMask();
  std::vector<std::string> candidates;
  for (int bit = 0; bit < 26; ++bit) {
    if (!(mask & (1u << bit))) continue;
    std::string drive = std::string(1, static_cast<char>('A' + bit)) + ":\\";
    if (drive == systemDrive) continue;
    platform::DriveType type = platform::DriveTypeOf(drive);
    if (type == platform::DriveType::Fixed || type == platform::DriveType::Removable) candidates.push_back(drive);
  }
  for (const std::string& drive : candidates) {
    if (DetectModel(drive)) {
      root = drive;
      return 1;
    }
  }
  return 0;
}

// Every caller passes 0 (the request carries no argument) and no family gives the flags a meaning.
void KernelDeviceMSCBase::Connect(int /*flags*/) {
  {
    auto lock = Lock();
    if (connected_) return;
    auto progress = MakeProgress("Detecting...", 100);
    connected_ = 0;
    ClearDatabase();
    // A walk before the connect built the playlist list from no database.
    InvalidateCaches();
    MarkModified();
    connectedVolume_.reset();
    backupPending_ = false;
    progress->Step();
    std::string root;
    int found = ScanDrives(root);
    progress->Step();
    if (found) {
      root_ = root;
      connectedVolume_ = platform::FindVolume(root_);
      playerRoot_ = connectedVolume_ ? platform::PlayerRoot::Open(root_) : nullptr;
      connected_ = 1;
      if (connectedVolume_ && NativePath(root_)) {
        RemoveStaleTemporaries();
        // A database that cannot be reached (a symbolic link) is left alone: never rebuilt, never written over.
        auto native = NativePath(DatabasePath());
        struct stat st {};
        bool existed = !native || ::lstat(native->c_str(), &st) == 0;
        bool stopped = false;
        try {
          if (native) database_.Load(progress.get(), nullptr, *native, Utf8ToUtf16(root_));
        } catch (const std::exception&) {
          stopped = true;  // what was read stays; the file counts as not read cleanly
        }
        databaseIdentity_ = DatabaseIdentityNow();
        // Whatever could not be read stays in the old file until a copy of it is kept.
        backupPending_ = native && existed && (stopped || !database_.LoadedCleanly());
        if (!native) {
          QueueMessage("The database on your " + family_.deviceNoun + " (\"" + family_.databaseFileName +
                       "\") cannot be read: it is not a plain file (a symbolic link is not followed). It is left "
                       "as it is, and changes cannot be saved until it is replaced by the file itself.");
        } else if (backupPending_) {
          QueueMessage("The database on your " + family_.deviceNoun + " (\"" + family_.databaseFileName +
                       "\") could not be read completely, so some tracks or playlists may be missing. The file "
                       "is left as it is, and a copy of it is kept before any change is saved over it.");
        }
        progress->Step();
        bool markerPresent = family_.rebuildMarker.empty() ||
                             [&] {
                               auto marker = NativePath(root_ + family_.rebuildMarker);
                               return marker && NativeExists(*marker);
                             }();
        if (markerPresent && !existed) {
          ClearDatabase();
          ImportExistingFiles();
          InvalidateCaches();
          SaveLocked(false);
          // The plain family's marker is the root itself, which must stay.
          if (!family_.rebuildMarker.empty()) {
            if (auto marker = NativePath(root_ + family_.rebuildMarker)) ::unlink(marker->c_str());
          }
        }
        progress->Step();
      } else {
        found = 0;
        connected_ = 0;
      }
    }
    if (!found) {
      root_ = std::string(kNoPlayerRoot);
      connectedVolume_.reset();
      playerRoot_.reset();
      if (!notDetectedShown_) {
        QueueMessage(TheProductProfile().explorerName + " could not automatically detect any " + family_.deviceNoun +
                     " devices.\n\n" + family_.connectHint);
        notDetectedShown_ = 1;
      }
    }
    progress->Hide();
  }
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
}

void KernelDeviceMSCBase::Disconnect() {
  std::string ejectRoot;
  {
    auto lock = Lock();
    noteSearch_ = -1;
    contactSearch_ = -1;
    auto progress = MakeProgress("Disconnecting...", 5);
    KernelDevice::Disconnect();
    InvalidateCaches();
    MarkModified();
    progress->Step();
    if (connected_) {
      // A failed save keeps the player connected with its database, so nothing is lost.
      if (!SaveLocked(true)) {
        progress->Hide();
        lock.unlock();
        if (tlsDispatchDepth == 0) ShowQueuedMessages();
        return;
      }
      connected_ = 0;
      ClearDatabase();
      connectedVolume_.reset();
      playerRoot_.reset();
      progress->Step();
      if (SettingDword("MS_LeaveMounted", 1) == 0) ejectRoot = root_;
    }
    progress->Hide();
  }
  // The eject may wait seconds for a busy volume; nobody needs the lock for that.
  if (!ejectRoot.empty()) EjectVolume(ejectRoot);
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
}

int KernelDeviceMSCBase::IsConnected() {
  auto lock = Lock();
  return connected_;
}

bool KernelDeviceMSCBase::KeepBackupIfNeeded(std::string& errorText) {
  if (!backupPending_) return true;
  auto native = NativePath(DatabasePath());
  if (!native) return false;
  if (!NativeExists(*native)) {
    backupPending_ = false;
    return true;
  }
  std::string backup = FreeBackupPath(*native);
  std::error_code ec;
  fs::copy_file(*native, backup, fs::copy_options::none, ec);
  if (ec) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "B:0x%X", static_cast<unsigned>(ec.value()));
    errorText = buf;
    return false;
  }
  platform::WriteFileAttributes(backup, platform::kAttributeHidden);
  backupPending_ = false;
  QueueMessage("The database on your " + family_.deviceNoun +
               " could not be read completely, so it was copied to \"" + fs::path(backup).filename().string() +
               "\" before your changes were saved.");
  return true;
}

std::string KernelDeviceMSCBase::FreeBackupPath(const std::string& native) const {
  std::string backup = native + ".bak";
  for (int n = 0; NativeExists(backup); ++n)
    backup = native + "." + std::to_string(std::time(nullptr)) + (n ? "-" + std::to_string(n) : "") + ".bak";
  return backup;
}

KernelDeviceMSCBase::FileIdentity KernelDeviceMSCBase::DatabaseIdentityNow() const {
  FileIdentity id;
  auto native = NativePath(DatabasePath());
  struct stat st {};
  if (!native || ::lstat(native->c_str(), &st) != 0) return id;
  id.exists = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = static_cast<uint64_t>(st.st_size);
  id.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

void KernelDeviceMSCBase::LosePlayer() {
  connected_ = 0;
  connectedVolume_.reset();
  playerRoot_.reset();
  backupPending_ = false;
  ClearDatabase();
  InvalidateCaches();
  MarkModified();
}

void KernelDeviceMSCBase::KeepChangesBesideChangedDatabase() {
  const std::string& manager = TheProductProfile().managerName;
  std::string kept;
  if (auto native = NativePath(DatabasePath())) {
    std::string backup = FreeBackupPath(*native);
    try {
      std::vector<uint8_t> bytes = database_.Serialize();
      if (platform::WriteFileAtomically(backup, bytes.data(), bytes.size()).ok()) {
        platform::WriteFileAttributes(backup, platform::kAttributeHidden);
        kept = fs::path(backup).filename().string();
      }
    } catch (const std::exception&) {
    }
  }
  QueueMessage(manager + " did not save your changes over the database on your " + family_.deviceNoun +
               ", because that file was changed by something else since it was loaded.\n" +
               (kept.empty() ? std::string("Your changes could not be kept.")
                             : "Your changes were kept in \"" + kept + "\" beside it.") +
               "\nThe " + family_.deviceNoun + " was disconnected; connect again to use the database that is there now.");
  LosePlayer();
}

int KernelDeviceMSCBase::SaveLocked(bool withProgress) {
  auto lock = Lock();
  if (!connected_) return 0;
  const std::string& manager = TheProductProfile().managerName;
  if (!playerRoot_ || !playerRoot_->StillConnected()) {
    // The folder connected is gone or replaced: nothing is written where it was.
    QueueMessage(manager + " encountered a problem when trying to save changes to your " + family_.deviceNoun +
                 ".\nTo maintain integrity, none of your changes were saved.\n\nCode 0:0x13" +
                 "\n\nPlease report this error verbatim to Quorral Software, thanks!");
    QueueMessage(manager + " can no longer communicate with your " + family_.deviceNoun +
                 ".\n\nIt appears that it was unplugged without first disconnecting in " + manager +
                 ".\nSome of the changes you made in " + TheProductProfile().explorerName +
                 " may been lost.\nNext time, please remember to disconnect before unplugging.");
    LosePlayer();
    return 0;
  }
  if (DatabaseIdentityNow() != databaseIdentity_) {
    KeepChangesBesideChangedDatabase();
    return 0;
  }
  std::unique_ptr<ShoeboxProgressMonitor> progress;
  if (withProgress) progress = MakeProgress("", 100);
  std::string errorText;
  int saved = KeepBackupIfNeeded(errorText) ? database_.Save(progress.get(), errorText) : 0;
  if (saved) {
    databaseIdentity_ = DatabaseIdentityNow();
    if (auto native = NativePath(DatabasePath())) platform::WriteFileAttributes(*native, platform::kAttributeHidden);
    if (family_.exportPlaylists) ExportPlaylists();
    WriteNavigationDatabase(progress.get());
  } else {
    QueueMessage(manager + " encountered a problem when trying to save changes to your " + family_.deviceNoun +
                 ".\nTo maintain integrity, none of your changes were saved.\n\nCode " + errorText +
                 "\n\nPlease report this error verbatim to Quorral Software, thanks!");
  }
  if (progress) progress->Hide();
  return saved;
}

int KernelDeviceMSCBase::SaveDatabase() {
  if (SettingDword("MS_AlwaysSave", 1) == 0) return 0;
  {
    std::lock_guard lock(workersMutex_);
    if (stopping_) return 0;
    saveDirty_ = true;
  }
  workersWake_.notify_all();
  return 0;
}

void KernelDeviceMSCBase::SaveLoop() {
  std::unique_lock lock(workersMutex_);
  for (;;) {
    workersWake_.wait(lock, [this] { return stopping_ || saveDirty_; });
    // A save asked for before the device goes still runs.
    if (!saveDirty_) break;
    saveDirty_ = false;
    saveRunning_ = true;
    lock.unlock();
    SaveLocked(false);
    ShowQueuedMessages();
    lock.lock();
    saveRunning_ = false;
    savesDone_.notify_all();
  }
}

bool KernelDeviceMSCBase::WaitForSaves(std::chrono::milliseconds timeout) {
  std::unique_lock lock(workersMutex_);
  return savesDone_.wait_for(lock, timeout, [this] { return !saveDirty_ && !saveRunning_; });
}

void KernelDeviceMSCBase::SetWatchPeriod(std::chrono::milliseconds period) {
  {
    std::lock_guard lock(workersMutex_);
    watchPeriod_ = period;
  }
  workersWake_.notify_all();
}

void KernelDeviceMSCBase::CheckPlayerPresent() {
  {
    auto lock = Lock();
    if (!connected_ || !connectedVolume_ ||
        (playerRoot_ && playerRoot_->StillConnected() &&
         platform::VolumeTable::Instance().StillPresent(*connectedVolume_)))
      return;
    const std::string& manager = TheProductProfile().managerName;
    QueueMessage(manager + " can no longer communicate with your " + family_.deviceNoun +
                 ".\n\nIt appears that it was unplugged without first disconnecting in " + manager +
                 ".\nSome of the changes you made in " + TheProductProfile().explorerName +
                 " may been lost.\nNext time, please remember to disconnect before unplugging.");
    LosePlayer();
  }
  ShowQueuedMessages();
}

void KernelDeviceMSCBase::WatchLoop() {
  std::unique_lock lock(workersMutex_);
  while (!stopping_) {
    lock.unlock();
    CheckPlayerPresent();
    lock.lock();
    auto period = watchPeriod_;
    // A changed period takes effect at once.
    if (workersWake_.wait_for(lock, period, [&] { return stopping_ || watchPeriod_ != period; })) {
      if (stopping_) break;
      continue;
    }
    lock.unlock();
    {
      auto deviceLock = Lock();
      notDetectedShown_ = 0;
    }
    lock.lock();
  }
}

std::string KernelDeviceMSCBase::GetDeviceId() {
  uint32_t serial = 0;
  platform::VolumeLabelAndSerial(platform::kSystemDriveRoot, nullptr, &serial);
  // The hardware-profile part is all zeros on systems other than the one that had it.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%02X%02X%02X%02X%s", family_.deviceIdPrefix.c_str(), serial & 0xFF,
                (serial >> 8) & 0xFF, (serial >> 16) & 0xFF, (serial >> 24) & 0xFF, "000000000000000000");
  return buf;
}

std::string KernelDeviceMSCBase::GetOwnerName() {
  auto lock = Lock();
  return Utf16ToUtf8(database_.OwnerName());
}

int KernelDeviceMSCBase::SetOwnerName(std::string_view name) {
  auto lock = Lock();
  RequireConnected();
  database_.SetOwnerName(Utf8ToUtf16(name));
  return 0;
}

int KernelDeviceMSCBase::Eject() {
  std::string root;
  {
    auto lock = Lock();
    root = root_;
  }
  int result = EjectVolume(root);
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
  return result;
}

std::string KernelDeviceMSCBase::GetRootPath() {
  auto lock = Lock();
  return root_;
}

int KernelDeviceMSCBase::ClearDatabase() {
  auto lock = Lock();
  database_.Clear();
  InvalidateCaches();
  MarkModified();
  return 0;
}

int KernelDeviceMSCBase::GetStorageTotalKB() {
  auto lock = Lock();
  platform::DiskSpace space;
  if (!connected_ || !platform::VolumeSpace(root_, space)) return 0;
  return static_cast<int>(StorageKilobytes(space.totalBytes));
}

int KernelDeviceMSCBase::GetStorageFreeKB() {
  auto lock = Lock();
  platform::DiskSpace space;
  if (!connected_ || !platform::VolumeSpace(root_, space)) return 0;
  return static_cast<int>(StorageKilobytes(space.freeBytes));
}

std::string KernelDeviceMSCBase::GetFamilyCode(const KernelId&) { return family_.familyCode; }

std::string KernelDeviceMSCBase::GetDeviceAppDataPath() {
  auto lock = Lock();
  std::string path = root_ + ".apml";
  auto native = NativePath(path);
  if (!native) return {};
  std::error_code ec;
  if (!fs::is_directory(*native, ec)) fs::create_directory(*native, ec);
  platform::WriteFileAttributes(*native, platform::kAttributeHidden | platform::kAttributeSystem);
  return path;
}

int KernelDeviceMSCBase::PlayTrack(const KernelId& track) {
  auto lock = Lock();
  currentTrack_ = track;
  stopped_ = 0;
  return 0;
}

int KernelDeviceMSCBase::StopPlayback() {
  auto lock = Lock();
  stopped_ = 1;
  return 0;
}

std::string KernelDeviceMSCBase::GetAudioRoot() { return SettingString("MS_AudioRoot", ""); }

}  // namespace hub
