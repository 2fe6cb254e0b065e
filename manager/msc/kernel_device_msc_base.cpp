// Device-wide behaviour of mass-storage players: finding the drive, connecting
// (loading or rebuilding the database), disconnecting, saving in the
// background, the unplug watcher, identity, names and storage sizes.
#include "manager/msc/kernel_device_msc_base.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/kdp_request_table.h"
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
                [this](std::string_view text) { SetNotice(text); }) {}

KernelDeviceMSCBase::~KernelDeviceMSCBase() {
  copier_.Shutdown();
  ShowQueuedMessages();
}

void KernelDeviceMSCBase::AttachWorkers(MscDeviceWorkers* workers) {
  std::lock_guard lock(workersMutex_);
  workers_ = workers;
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

bool KernelDeviceMSCBase::HasQueuedMessages() {
  std::lock_guard lock(messagesMutex_);
  return !messages_.empty();
}

void KernelDeviceMSCBase::ShowQueuedMessagesOutsideRequests() {
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
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

std::optional<std::string> KernelDeviceMSCBase::ResolveOn(const std::shared_ptr<platform::PlayerRoot>& playerRoot,
                                                          std::string_view playerPath) {
  // A root that is no longer the one connected refuses every path, so nothing
  // lands where the player used to be.
  if (!playerRoot || !playerRoot->StillConnected()) return std::nullopt;
  return playerRoot->Resolve(playerPath);
}

std::optional<std::string> KernelDeviceMSCBase::NativePath(std::string_view playerPath) const {
  // Through the root held since connect.
  if (!connected_) return std::nullopt;
  return ResolveOn(playerRoot_, playerPath);
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

void KernelDeviceMSCBase::RemoveStaleTemporaries(const std::string& root,
                                                 const std::shared_ptr<platform::PlayerRoot>& playerRoot) {
  // Left by a rewrite that a crash or an unplug broke off; the files they stand for are whole.
  std::vector<std::string> names{family_.databaseSubfolder + family_.databaseFileName};
  for (const std::string& own : family_.ownFiles) names.push_back(own);
  for (const std::string& name : names) {
    auto native = ResolveOn(playerRoot, root + name + ".tmp");
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

bool KernelDeviceMSCBase::LocksForItself(uint32_t opcode) const {
  static constexpr uint32_t kOwnLocking[] = {kOpcodeConnect, kOpcodeDisconnect, kOpcodeSaveDatabase, kOpcodeEject,
                                             kOpcodeSetTrackInfo};
  return std::find(std::begin(kOwnLocking), std::end(kOwnLocking), opcode) != std::end(kOwnLocking);
}

namespace {

// Waiting for the busy state under the lock would wait for a job that needs the lock.
void RefuseUnderLock(const KernelDevice& device) {
  if (device.Mutex().HeldByThisThread())
    throw std::logic_error("A device job cannot start while its caller holds the device lock.");
}

}  // namespace

KernelDeviceMSCBase::Job::Job(KernelDeviceMSCBase& device) : device_(device) {
  RefuseUnderLock(device_);
  std::unique_lock lock(device_.jobMutex_);
  auto self = std::this_thread::get_id();
  device_.jobFree_.wait(lock, [&] { return device_.jobDepth_ == 0 || device_.jobOwner_ == self; });
  device_.jobOwner_ = self;
  ++device_.jobDepth_;
  owns_ = true;
}

KernelDeviceMSCBase::Job::Job(KernelDeviceMSCBase& device, std::try_to_lock_t) : device_(device) {
  RefuseUnderLock(device_);
  std::lock_guard lock(device_.jobMutex_);
  auto self = std::this_thread::get_id();
  if (device_.jobDepth_ != 0 && device_.jobOwner_ != self) return;
  device_.jobOwner_ = self;
  ++device_.jobDepth_;
  owns_ = true;
}

KernelDeviceMSCBase::Job::~Job() {
  if (!owns_) return;
  {
    std::lock_guard lock(device_.jobMutex_);
    if (--device_.jobDepth_ == 0) device_.jobOwner_ = std::thread::id();
  }
  device_.jobFree_.notify_all();
}

// Every caller passes 0 (the request carries no argument) and no family gives the flags a meaning.
void KernelDeviceMSCBase::Connect(int /*flags*/) {
  {
    Job job(*this);
    ConnectJob();
  }
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
}

void KernelDeviceMSCBase::ConnectJob() {
  {
    auto lock = Lock();
    if (connected_) return;
  }
  // The progress window pumps messages: it is driven without the lock.
  auto progress = MakeProgress("Detecting...", 100);
  {
    auto lock = Lock();
    ClearDatabase();
    // A walk before the connect built the playlist list from no database.
    InvalidateCaches();
    MarkModified();
    connectedVolume_.reset();
    backupPending_ = false;
  }
  progress->Step();
  std::string root;
  int found = ScanDrives(root);
  progress->Step();
  std::optional<platform::Volume> volume;
  std::shared_ptr<platform::PlayerRoot> playerRoot;
  if (found) {
    volume = platform::FindVolume(root);
    playerRoot = volume ? platform::PlayerRoot::Open(root) : nullptr;
    if (!volume || !ResolveOn(playerRoot, root)) found = 0;
  }
  if (!found) {
    auto lock = Lock();
    root_ = std::string(kNoPlayerRoot);
    connectedVolume_.reset();
    playerRoot_.reset();
    if (!notDetectedShown_) {
      QueueMessage(TheProductProfile().explorerName + " could not automatically detect any " + family_.deviceNoun +
                   " devices.\n\n" + family_.connectHint);
      notDetectedShown_ = 1;
    }
  } else {
    RemoveStaleTemporaries(root, playerRoot);
    // A database that cannot be reached (a symbolic link) is left alone: never rebuilt, never written over.
    auto native = ResolveOn(playerRoot, root + family_.databaseSubfolder + family_.databaseFileName);
    struct stat st {};
    bool existed = !native || ::lstat(native->c_str(), &st) == 0;
    // Loaded beside the database in use, which readers keep using meanwhile.
    auto loaded = std::make_unique<Shoebox>();
    bool stopped = false;
    try {
      if (native) loaded->Load(progress.get(), nullptr, *native, Utf8ToUtf16(root));
    } catch (const std::exception&) {
      stopped = true;  // what was read stays; the file counts as not read cleanly
    }
    FileIdentity identity = IdentityOf(native);
    {
      auto lock = Lock();
      loaded->AdoptRetiredIds(*database_);
      database_ = std::move(loaded);
      InvalidateCaches();
      MarkModified();
      root_ = root;
      connectedVolume_ = volume;
      playerRoot_ = playerRoot;
      connected_ = 1;
      databaseIdentity_ = identity;
      // Whatever could not be read stays in the old file until a copy of it is kept.
      backupPending_ = native && existed && (stopped || !database_->LoadedCleanly());
      if (!native) {
        QueueMessage("The database on your " + family_.deviceNoun + " (\"" + family_.databaseFileName +
                     "\") cannot be read: it is not a plain file (a symbolic link is not followed). It is left "
                     "as it is, and changes cannot be saved until it is replaced by the file itself.");
      } else if (backupPending_) {
        QueueMessage("The database on your " + family_.deviceNoun + " (\"" + family_.databaseFileName +
                     "\") could not be read completely, so some tracks or playlists may be missing. The file "
                     "is left as it is, and a copy of it is kept before any change is saved over it.");
      }
    }
    progress->Step();
    bool markerPresent = family_.rebuildMarker.empty() ||
                         [&] {
                           auto marker = ResolveOn(playerRoot, root + family_.rebuildMarker);
                           return marker && NativeExists(*marker);
                         }();
    if (markerPresent && !existed) {
      ClearDatabase();
      ImportExistingFiles();
      {
        auto lock = Lock();
        InvalidateCaches();
      }
      SaveNow(false);
      // The plain family's marker is the root itself, which must stay.
      if (!family_.rebuildMarker.empty()) {
        if (auto marker = ResolveOn(playerRoot, root + family_.rebuildMarker)) ::unlink(marker->c_str());
      }
    }
    progress->Step();
  }
  progress->Hide();
}

void KernelDeviceMSCBase::Disconnect() {
  {
    Job job(*this);
    // Read before the lock: settings live in a database file.
    const bool leaveMounted = SettingDword("MS_LeaveMounted", 1) != 0;
    auto progress = MakeProgress("Disconnecting...", 5);
    bool wasConnected;
    {
      auto lock = Lock();
      noteSearch_ = -1;
      contactSearch_ = -1;
      KernelDevice::Disconnect();
      InvalidateCaches();
      MarkModified();
      wasConnected = connected_ != 0;
    }
    progress->Step();
    std::string ejectRoot;
    std::unique_ptr<Shoebox> dropped;  // freed after the lock is released
    // A change made while the save wrote (a failed copy drops its track) is saved too.
    constexpr int kSaveRounds = 3;
    for (int round = 1; wasConnected; ++round) {
      uint64_t saved = 0;
      // A failed save keeps the player connected with its database, so nothing is lost.
      if (!SaveNow(true, &saved)) {
        progress->Hide();
        break;
      }
      auto lock = Lock();
      if (ChangeCount() != saved && round < kSaveRounds) continue;
      connected_ = 0;
      dropped = TakeDatabase();
      connectedVolume_.reset();
      playerRoot_.reset();
      if (!leaveMounted) ejectRoot = root_;
      lock.unlock();
      progress->Step();
      break;
    }
    progress->Hide();
    // The eject may wait seconds for a busy volume; nobody needs the lock for that.
    if (!ejectRoot.empty()) EjectVolume(ejectRoot);
  }
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
}

int KernelDeviceMSCBase::IsConnected() {
  auto lock = Lock();
  return connected_;
}

std::string KernelDeviceMSCBase::FreeBackupPath(const std::string& native) const {
  std::string backup = native + ".bak";
  for (int n = 0; NativeExists(backup); ++n)
    backup = native + "." + std::to_string(std::time(nullptr)) + (n ? "-" + std::to_string(n) : "") + ".bak";
  return backup;
}

KernelDeviceMSCBase::FileIdentity KernelDeviceMSCBase::IdentityOf(const std::optional<std::string>& native) {
  FileIdentity id;
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

std::unique_ptr<Shoebox> KernelDeviceMSCBase::TakeDatabase() {
  auto empty = std::make_unique<Shoebox>();
  empty->AdoptRetiredIds(*database_);
  database_.swap(empty);
  InvalidateCaches();
  MarkModified();
  return empty;
}

void KernelDeviceMSCBase::KeepChangesBesideChangedDatabase(const std::optional<std::string>& native,
                                                           const std::vector<uint8_t>* bytes) {
  const std::string& manager = TheProductProfile().managerName;
  std::string kept;
  if (native && bytes) {
    std::string backup = FreeBackupPath(*native);
    if (platform::WriteFileAtomically(backup, bytes->data(), bytes->size()).ok()) {
      platform::WriteFileAttributes(backup, platform::kAttributeHidden);
      kept = fs::path(backup).filename().string();
    }
  }
  auto lock = Lock();
  QueueMessage(manager + " did not save your changes over the database on your " + family_.deviceNoun +
               ", because that file was changed by something else since it was loaded.\n" +
               (kept.empty() ? std::string("Your changes could not be kept.")
                             : "Your changes were kept in \"" + kept + "\" beside it.") +
               "\nThe " + family_.deviceNoun + " was disconnected; connect again to use the database that is there now.");
  LosePlayer();
}

namespace {

// Keeps what the database's save reports while the lock is held; the progress
// window, which pumps messages, is given it after the lock is released.
class DeferredProgress : public ShoeboxProgressMonitor {
 public:
  void SetStatus(const std::string& text, int range) override {
    status_ = text;
    range_ = range;
    hasStatus_ = true;
  }
  void SetPosition(int position) override { position_ = position; }
  void Step() override { ++position_; }
  void Hide() override {}
  void ReplayOn(ShoeboxProgressMonitor& target) const {
    if (hasStatus_) target.SetStatus(status_, range_);
    if (position_) target.SetPosition(position_);
  }

 private:
  std::string status_;
  int range_ = 0;
  int position_ = 0;
  bool hasStatus_ = false;
};

std::string StageErrorText(int stage, int error) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:0x%X", stage, static_cast<unsigned>(error));
  return text;
}

}  // namespace

int KernelDeviceMSCBase::SaveNow(bool withProgress, uint64_t* changes) {
  Job job(*this);
  const std::string& manager = TheProductProfile().managerName;
  std::unique_ptr<ShoeboxProgressMonitor> progress;
  if (withProgress) progress = MakeProgress("", 100);
  DeferredProgress formed;
  std::optional<std::string> native;  // the database file as the connected root names it
  std::string target;                 // the file the database was loaded from, which the save replaces
  FileIdentity expected;
  bool backupPending = false;
  std::vector<uint8_t> bytes;
  std::optional<std::string> failure;  // the code the failure message gives
  // The bytes are formed a slice of tracks per hold of the lock, so a request
  // waits for one slice rather than the whole database. Only jobs replace the
  // database and this one is running; the check guards the serializer's reference.
  std::optional<ShoeboxSerializer> serializer;
  const Shoebox* walked = nullptr;
  for (bool finished = false; !finished;) {
    auto lock = Lock();
    if (!connected_) return 0;
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
    if (database_.get() != walked) {
      walked = database_.get();
      serializer.emplace(*walked, &formed);
    }
    try {
      // Tracks that keep changing under the walk are formed in one hold rather than chased.
      const bool chased = serializer->Restarts() >= kSaveRestartsBeforeOneHold;
      finished = serializer->Step(chased ? SIZE_MAX : kSaveTracksPerHold);
    } catch (const ShoeboxSaveError& e) {
      failure = StageErrorText(platform::kWriteStageWrite, e.error);
      finished = true;
    } catch (const std::bad_alloc&) {
      failure = StageErrorText(platform::kWriteStageWrite, ENOMEM);
      finished = true;
    }
    if (!finished) continue;
    // What the bytes hold is the database as this hold finds it.
    native = NativePath(DatabasePath());
    target = database_->FilePath();
    expected = databaseIdentity_;
    backupPending = backupPending_;
    if (changes) *changes = ChangeCount();
  }
  if (!failure) bytes = serializer->Take();
  // Only jobs write the file and this one is running: a file that differs
  // now was changed by something else.
  if (IdentityOf(native) != expected) {
    KeepChangesBesideChangedDatabase(native, failure ? nullptr : &bytes);
    return 0;
  }
  if (progress) formed.ReplayOn(*progress);
  std::string backupName;
  bool backupDone = false;
  if (!failure && backupPending) {
    // The file that did not load cleanly is copied before it is first written over.
    if (!native) {
      failure = std::string();
    } else if (NativeExists(*native)) {
      std::string backup = FreeBackupPath(*native);
      std::error_code ec;
      fs::copy_file(*native, backup, fs::copy_options::none, ec);
      if (ec) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "B:0x%X", static_cast<unsigned>(ec.value()));
        failure = buf;
      } else {
        platform::WriteFileAttributes(backup, platform::kAttributeHidden);
        backupName = fs::path(backup).filename().string();
      }
    }
    backupDone = !failure;
  }
  if (!failure && target.empty()) failure = StageErrorText(platform::kWriteStageCreate, ENOENT);
  if (!failure) {
    platform::AtomicWriteResult written = platform::WriteFileAtomically(target, bytes.data(), bytes.size());
    if (!written.ok()) failure = StageErrorText(written.stage, written.error);
  }
  const int saved = failure ? 0 : 1;
  FileIdentity now;
  if (saved) {
    now = IdentityOf(native);
    if (native) platform::WriteFileAttributes(*native, platform::kAttributeHidden);
  }
  {
    auto lock = Lock();
    if (backupDone) {
      backupPending_ = false;
      if (!backupName.empty()) {
        QueueMessage("The database on your " + family_.deviceNoun +
                     " could not be read completely, so it was copied to \"" + backupName +
                     "\" before your changes were saved.");
      }
    }
    if (saved) {
      databaseIdentity_ = now;
    } else {
      QueueMessage(manager + " encountered a problem when trying to save changes to your " + family_.deviceNoun +
                   ".\nTo maintain integrity, none of your changes were saved.\n\nCode " + *failure +
                   "\n\nPlease report this error verbatim to Quorral Software, thanks!");
    }
  }
  if (saved) {
    if (family_.exportPlaylists) ExportPlaylists();
    WriteNavigationDatabase(progress.get());
  }
  if (progress) progress->Hide();
  return saved;
}

int KernelDeviceMSCBase::SaveDatabase() {
  if (SettingDword("MS_AlwaysSave", 1) == 0) return 0;
  {
    std::lock_guard lock(workersMutex_);
    if (workers_) {
      workers_->RequestSave();
      return 0;
    }
  }
  // A device without workers saves at once rather than never.
  SaveNow(false);
  return 0;
}

bool KernelDeviceMSCBase::WaitForSaves(std::chrono::milliseconds timeout) {
  std::lock_guard lock(workersMutex_);
  return workers_ ? workers_->WaitForSaves(timeout) : true;
}

void KernelDeviceMSCBase::SetWatchPeriod(std::chrono::milliseconds period) {
  watchPeriodMs_ = period.count();
  std::lock_guard lock(workersMutex_);
  if (workers_) workers_->WatchPeriodChanged();
}

void KernelDeviceMSCBase::RearmNotDetectedMessage() {
  auto lock = Lock();
  notDetectedShown_ = 0;
}

void KernelDeviceMSCBase::CheckPlayerPresent() {
  {
    // A job under way (a connect, a save) is not interrupted: the next round looks again.
    Job job(*this, std::try_to_lock);
    if (!job.Owns()) return;
    std::optional<platform::Volume> volume;
    std::shared_ptr<platform::PlayerRoot> playerRoot;
    {
      auto lock = Lock();
      if (!connected_ || !connectedVolume_) return;
      volume = connectedVolume_;
      playerRoot = playerRoot_;
    }
    // The volume table is read from the system's files: without the lock.
    if (playerRoot && playerRoot->StillConnected() && platform::VolumeTable::Instance().StillPresent(*volume)) return;
    auto lock = Lock();
    const std::string& manager = TheProductProfile().managerName;
    QueueMessage(manager + " can no longer communicate with your " + family_.deviceNoun +
                 ".\n\nIt appears that it was unplugged without first disconnecting in " + manager +
                 ".\nSome of the changes you made in " + TheProductProfile().explorerName +
                 " may been lost.\nNext time, please remember to disconnect before unplugging.");
    LosePlayer();
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
  return Utf16ToUtf8(database_->OwnerName());
}

int KernelDeviceMSCBase::SetOwnerName(std::string_view name) {
  auto lock = Lock();
  RequireConnected();
  database_->SetOwnerName(Utf8ToUtf16(name));
  return 0;
}

int KernelDeviceMSCBase::Eject() {
  int result;
  {
    Job job(*this);
    std::string root;
    {
      auto lock = Lock();
      root = root_;
    }
    // The eject may wait seconds for a busy volume: without the lock.
    result = EjectVolume(root);
  }
  if (tlsDispatchDepth == 0) ShowQueuedMessages();
  return result;
}

std::string KernelDeviceMSCBase::GetRootPath() {
  auto lock = Lock();
  return root_;
}

int KernelDeviceMSCBase::ClearDatabase() {
  auto lock = Lock();
  database_->Clear();
  InvalidateCaches();
  MarkModified();
  return 0;
}

// The space of the root held since connect: asked before every file sent, so
// without a fresh read of the mount table and the settings each time.
int KernelDeviceMSCBase::GetStorageTotalKB() {
  auto lock = Lock();
  platform::DiskSpace space;
  if (!connected_ || !playerRoot_ || !playerRoot_->Space(space)) return 0;
  return static_cast<int>(StorageKilobytes(space.totalBytes));
}

int KernelDeviceMSCBase::GetStorageFreeKB() {
  auto lock = Lock();
  platform::DiskSpace space;
  if (!connected_ || !playerRoot_ || !playerRoot_->Space(space)) return 0;
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
