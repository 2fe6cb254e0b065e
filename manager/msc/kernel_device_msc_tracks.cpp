// Track and data-file operations of mass-storage players: adding a file (its
// place from the naming rule, the copy on the device's copy thread, the
// record in the database), importing, relocating, reading and replacing
// records, copying back to the computer, deleting, the track walk, data files,
// and the rebuild of a lost database from the files on the player.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/file_copy_signal.h"
#include "common/folders.h"
#include "common/settings.h"
#include "common/text.h"
#include "common/utf16.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "manager/msc/player_text.h"
#include "manager/msc/track_info_reader.h"
#include "manager/msc/track_paths.h"
#include "manager/tags/tag_writer.h"
#include "platform/fs/attributes.h"
#include "platform/fs/rename.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

constexpr std::string_view kDataFolder = "!DATA";
// A place taken by another file gets " (2)" ... up to this number.
constexpr int kMaxNumberedPlaces = 999;
// The rebuild stops after this many files rather than run without end.
constexpr size_t kMaxImportedFiles = 200000;

// A path on this computer: native, or in drive form ("C:\...").
std::string ComputerPath(std::string_view path) {
  if (platform::DriveLetterOf(path) == 0) return std::string(path);
  return platform::ResolvePlayerPath(path).value_or(std::string());
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

void StampTimes(SBTrackV100& track, int64_t modified) {
  track.SetU32(kTrackOffModified, static_cast<uint32_t>(modified));
  track.SetU32(kTrackOffAdded, static_cast<uint32_t>(NowSeconds()));
  track.SetU32(kTrackOffAddedCopy, static_cast<uint32_t>(NowSeconds()));
}

std::string FolderOfPlayerPath(std::string_view path) {
  auto slash = path.find_last_of('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(0, slash));
}

std::string NativeFolderOf(const std::string& native) {
  auto slash = native.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : native.substr(0, slash);
}

std::string FilenameFormat() { return SettingString("MS_Tx_FilenameFormat", ""); }

// A path longer than the protocol's fields holds is never handed out cut.
std::string FitOrEmpty(std::string text) { return text.size() <= kMaxPlayerPathBytes ? text : std::string(); }

// Whether the track's path is its place or a numbered form of it.
bool IsPlaceOrNumbered(std::string_view path, const std::string& place) {
  if (EqualsNoCase(path, place)) return true;
  for (int n = 2; n <= kMaxNumberedPlaces; ++n) {
    std::string numbered = NumberedPath(place, n);
    if (numbered.size() != path.size()) continue;  // " (n)" has one length per digit count
    if (EqualsNoCase(path, numbered)) return true;
  }
  return false;
}

}  // namespace

// --- Places ---

void KernelDeviceMSCBase::BuildTargetPath(const SBTrackV100* track, std::string& folder, std::string& name,
                                          std::string& extension) {
  TrackTargetPath place;
  if (track) {
    _AUDIODATA audio;
    AudioDataFromTrack(audio, *track);
    place = hub::BuildTargetPath(&audio, FilenameFormat());
  } else {
    place = hub::BuildTargetPath(nullptr, {});
  }
  // The player's menus and playlists name files in its code page: a name it
  // cannot hold would point at no file.
  PlayerTextCodec codec;
  folder = codec.OnlyCodePageCharacters(place.folder, kPlayerNameReplacement);
  name = codec.OnlyCodePageCharacters(place.name, kPlayerNameReplacement);
  extension = place.extension;
}

std::optional<std::string> KernelDeviceMSCBase::PlaceOf(const SBTrackV100& track) {
  TrackTargetPath place;
  BuildTargetPath(&track, place.folder, place.name, place.extension);
  std::string audioRoot = PlayerTextCodec().OnlyCodePageCharacters(GetAudioRoot(), kPlayerNameReplacement);
  auto path = JoinTargetPath(root_, audioRoot, place);
  if (!path || !IsInsideRoot(*path, root_)) return std::nullopt;
  return path;
}

// Creates the place's folders and then a free file for it: the place itself or
// its first free numbered form. Answers the player path and fills `native`.
std::string KernelDeviceMSCBase::ClaimPlace(const std::string& place, std::string& native) {
  auto folder = NativePath(FolderOfPlayerPath(place));
  if (!folder || !CreateFolderPath(*folder)) throw std::runtime_error("Cannot create the folder for " + place + " on the " + family_.deviceNoun + ".");
  for (int n = 1; n <= kMaxNumberedPlaces; ++n) {
    std::string candidate = n == 1 ? place : NumberedPath(place, n);
    if (!IsInsideRoot(candidate, root_)) break;
    auto path = NativePath(candidate);
    if (!path) break;
    int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      native = *path;
      return candidate;
    }
    if (errno != EEXIST) throw std::runtime_error("Cannot create " + candidate + ": " + std::strerror(errno));
  }
  throw std::runtime_error("No free name for " + place + " on the " + family_.deviceNoun + ".");
}

// --- Adding ---

int KernelDeviceMSCBase::AddTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) {
  auto lock = Lock();
  if (int refused = DeviceClassOp238()) return refused;
  RequireConnected();
  std::string source = ComputerPath(path);

  SBTrackV100 track;
  TrackFromAudioData(track, record);
  if (track.Path().empty()) track.SetText(kTrackTextPath, Utf8ToUtf16(path));  // the naming rule's %F
  if (database_->IsDuplicate(track)) return kAddResultDuplicate;

  auto place = PlaceOf(track);
  if (!place) throw std::runtime_error("The track's place does not fit on the " + family_.deviceNoun + ".");

  int fd = source.empty() ? -1 : ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kAddResultCannotOpen;
  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) return kAddResultCannotOpen;
  if (static_cast<uint64_t>(st.st_size) / 1024 > static_cast<uint32_t>(GetStorageFreeKB())) return kAddResultNoSpace;

  std::string native;
  std::string target = ClaimPlace(*place, native);
  track.SetText(kTrackTextPath, Utf8ToUtf16(target));
  track.SetSize(static_cast<uint64_t>(st.st_size));  // what is copied, whatever the record said
  StampTimes(track, st.st_mtime);
  uint32_t id = database_->AddTrack(std::move(track), true);
  if (id == 0) {
    ::unlink(native.c_str());
    throw std::runtime_error("The database refused the path " + target + ".");
  }
  lastAddedTrack_ = id;
  copySource_ = source;
  copyTarget_ = target;
  InvalidateCaches();
  newId = KernelId(id);

  // Stream readers know the file by its place on the volume, not by the root descriptor.
  CopyJob job{source, native, ProgressWindow(), KernelId(id), {}};
  job.announced = true;
  job.announcedAs = platform::ResolvePlayerPath(target).value_or(native);
  job.keepAlive = playerRoot_;
  job.ticket = AnnounceFileCopy(job.announcedAs);
  job.finished = [this, id, target](int error) { OnTrackCopyFinished(id, target, error); };
  copier_.Enqueue(std::move(job));
  return 0;
}

// A failed copy takes its record with it: no save may keep a record of a file
// that is empty or cut short. The failure still reaches the client.
void KernelDeviceMSCBase::OnTrackCopyFinished(uint32_t id, const std::string& target, int error) {
  if (error == 0) return;
  {
    auto lock = Lock();
    const SBTrackV100* track = database_->FindTrack(id);
    // The database may have been cleared and refilled meanwhile.
    if (track && EqualsNoCase(Utf16ToUtf8(track->Path()), target)) {
      database_->RemoveTrack(id);
      InvalidateCaches();
      MarkModified();
    }
  }
  ReportCopyFailure(error);
}

// A copy's failure as the client's next request sees it.
void KernelDeviceMSCBase::ReportCopyFailure(int error) {
  char text[64];
  std::snprintf(text, sizeof text, "Driver Error: 0x%X", static_cast<unsigned>(error));
  SetDriverError(static_cast<uint32_t>(error), text);
}

int KernelDeviceMSCBase::AddTrackRecord(const _AUDIODATA& record) {
  auto lock = Lock();
  SBTrackV100 track;
  TrackFromAudioData(track, record);
  return database_->IsDuplicate(track) ? 1 : 0;
}

int KernelDeviceMSCBase::ImportTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  std::string playerPath = NormalizePath(path);
  auto native = IsInsideRoot(playerPath, root_) ? NativePath(playerPath) : std::nullopt;
  struct stat st {};
  if (!native || ::stat(native->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw std::runtime_error("Only a file on the " + family_.deviceNoun + " can be imported: " + std::string(path));
  if (IsSystemFile(playerPath))
    throw std::runtime_error(std::string(path) + " is one of the " + family_.deviceNoun +
                             "'s own files and cannot be imported as a track.");
  SBTrackV100 track;
  TrackFromAudioData(track, record);
  track.SetText(kTrackTextPath, Utf8ToUtf16(playerPath));
  StampTimes(track, st.st_mtime);
  uint32_t id = database_->AddTrack(std::move(track), true);
  if (id == 0) throw std::runtime_error("The database refused the path " + playerPath + ".");
  lastAddedTrack_ = id;
  newId = KernelId(id);
  InvalidateCaches();
  return 0;
}

// --- Records ---

int KernelDeviceMSCBase::GetTrackInfo(const KernelId& id, _AUDIODATA& record) {
  auto lock = Lock();
  if (const SBTrackV100* track = database_->FindTrack(id.key[0])) {
    AudioDataFromTrack(record, *track);
    record.path.Set(FitOrEmpty(Utf16ToUtf8(track->Path())));
  }
  return 0;
}

// Whether the id still names a track: the Search and Last Transfer folders list only those.
int KernelDeviceMSCBase::TrackOp6070(const KernelId& id) {
  auto lock = Lock();
  return database_->FindTrack(id.key[0]) ? 1 : 0;
}

int KernelDeviceMSCBase::SetTrackInfo(const KernelId& id, const _AUDIODATA& record) {
  _AUDIODATA forFile;
  {
    auto lock = Lock();
    RequireConnected();
    InvalidateCaches();
    const SBTrackV100* existing = database_->FindTrack(id.key[0]);
    if (!existing) return 0;
    // The client describes the track; where its file lies is the device's own knowledge.
    SBTrackV100 updated = *existing;
    std::u16string path(existing->Path());
    UpdateTrackFromAudioData(updated, record);
    updated.SetText(kTrackTextPath, path);
    database_->ReplaceTrack(id.key[0], std::move(updated));
    forFile = record;
    forFile.path.Set(Utf16ToUtf8(path));
    auto native = NativePath(forFile.path.Get());
    if (!native || copier_.IsPending(*native)) return 0;  // a running copy would write over the tags
    if (IsSystemFile(forFile.path.Get())) return 0;        // no tags are written into the database
  }
  WriteTrackTags(forFile, 0);
  return 0;
}

std::string KernelDeviceMSCBase::GetTrackFilePath(const KernelId& id) {
  auto lock = Lock();
  const SBTrackV100* track = database_->FindTrack(id.key[0]);
  return track ? FitOrEmpty(Utf16ToUtf8(track->Path())) : std::string();
}

// --- Moving, copying back, deleting ---

int KernelDeviceMSCBase::RelocateTrackFile(const KernelId& id, int flag) {
  auto lock = Lock();
  if (flag) RequireConnected();
  const SBTrackV100* track = database_->FindTrack(id.key[0]);
  if (!track) return 0;
  auto place = PlaceOf(*track);
  std::string current = Utf16ToUtf8(track->Path());
  if (!place || IsPlaceOrNumbered(current, *place) || IsSystemFile(current)) return 0;
  if (!flag) return 1;

  auto from = NativePath(current);
  if (!from || copier_.IsPending(*from)) return 1;
  auto folder = NativePath(FolderOfPlayerPath(*place));
  if (!folder || !CreateFolderPath(*folder)) return 1;
  for (int n = 1; n <= kMaxNumberedPlaces; ++n) {
    std::string candidate = n == 1 ? *place : NumberedPath(*place, n);
    auto to = IsInsideRoot(candidate, root_) ? NativePath(candidate) : std::nullopt;
    if (!to) break;
    int error = platform::RenameNoReplace(*from, *to);
    if (error == EEXIST) continue;
    if (error != 0) break;
    SBTrackV100 moved = *track;
    moved.SetText(kTrackTextPath, Utf8ToUtf16(candidate));
    database_->ReplaceTrack(id.key[0], std::move(moved));
    InvalidateCaches();
    if (auto root = NativePath(root_)) RemoveEmptyFolders(NativeFolderOf(*from), *root);
    break;
  }
  return 1;
}

// The web server's streaming files lie directly in the "surgecast" temporary folder.
static bool IsStreamFile(const std::string& path) {
  std::string folder = GetTempFolder(kTempSurgecast);
  if (!folder.ends_with('/')) folder += '/';
  return path.size() > folder.size() && path.starts_with(folder) && path.find('/', folder.size()) == std::string::npos;
}

// The option (the stream handler passes 1) chooses nothing here: a track's file is
// always copied in the background, so the call never asks to be repeated.
int KernelDeviceMSCBase::CopyTrackFromDevice(const KernelId& id, std::string_view targetPath, int /*option*/) {
  auto lock = Lock();
  const SBTrackV100* track = database_->FindTrack(id.key[0]);
  if (!track) return 1;
  auto source = NativePath(Utf16ToUtf8(track->Path()));
  std::string target = ComputerPath(targetPath);
  if (!source || target.empty()) throw std::runtime_error("Cannot copy the track to " + std::string(targetPath) + ".");
  // The web server's streams follow their copy as it grows, beside the other
  // copies, and give it up when their peers leave; any other copy to the
  // computer appears whole or not at all.
  bool stream = IsStreamFile(target);
  CopyJob job{*source, target, stream ? WindowId(0) : ProgressWindow(), KernelId(id.key[0]), {}};
  job.replaceWhole = !stream;
  job.growing = stream;
  job.keepAlive = playerRoot_;
  job.announced = true;
  // Announced before it runs, so a stream reader waiting for the file follows it.
  job.ticket = AnnounceFileCopy(target);
  job.finished = [this](int error) {
    if (error != 0 && error != ECANCELED) ReportCopyFailure(error);
  };
  copier_.Enqueue(std::move(job));
  return 0;
}

int KernelDeviceMSCBase::TransferOp5070(const KernelId&, std::string_view) { return 6; }

int KernelDeviceMSCBase::DeleteTrack(const KernelId& id) {
  auto lock = Lock();
  RequireConnected();
  InvalidateCaches();
  const SBTrackV100* track = database_->FindTrack(id.key[0]);
  if (!track) return 0;
  std::string path = Utf16ToUtf8(track->Path());
  if (IsSystemFile(path)) {
    // A record that names one of the player's own files goes; the file stays.
    database_->RemoveTrack(id.key[0]);
    MarkModified();
    return 0;
  }
  auto native = NativePath(path);
  if (!native) return kDeleteResultFileKept;  // the player is not there: the file is not known to be gone
  if (copier_.IsPending(*native)) return kDeleteResultFileKept;
  platform::WriteFileAttributes(*native, platform::kAttributeNormal);
  if (::unlink(native->c_str()) != 0 && errno != ENOENT) {
    struct stat st;
    if (::lstat(native->c_str(), &st) == 0) return kDeleteResultFileKept;
  }
  if (auto root = NativePath(root_)) RemoveEmptyFolders(NativeFolderOf(*native), *root);
  database_->RemoveTrack(id.key[0]);
  MarkModified();
  return 0;
}

// --- The track walk and sizes ---

int KernelDeviceMSCBase::GetFirstTrack(KernelId& id) {
  auto lock = Lock();
  const SBTrackV100* track = database_->FirstTrack(trackPosition_);
  if (!track) return 0;
  id = KernelId(track->Id());
  return static_cast<int>(database_->TrackCount());
}

int KernelDeviceMSCBase::GetNextTrack(KernelId& id) {
  auto lock = Lock();
  const SBTrackV100* track = database_->NextTrack(trackPosition_);
  if (!track) return 0;
  id = KernelId(track->Id());
  return 1;
}

int KernelDeviceMSCBase::GetAudioTotalKB() {
  auto lock = Lock();
  return static_cast<int>(static_cast<uint32_t>(database_->TotalSize() / 1024));
}

// --- Data files ---

// Every data file goes into the one data folder: this family keeps no data-item tree,
// so the folder id is not used and the new id is the empty one (its children are never listed).
int KernelDeviceMSCBase::AddDataFile(std::string_view path, const KernelId& /*folder*/, KernelId& newId) {
  auto lock = Lock();
  newId = KernelId(0u);
  RequireConnected();
  std::string source = ComputerPath(path);
  int fd = source.empty() ? -1 : ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  // A source that cannot be read is said so, not passed off as a full player.
  if (fd < 0) return kAddResultCannotOpen;
  struct stat st {};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) return kAddResultCannotOpen;
  if (static_cast<uint64_t>(st.st_size) / 1024 > static_cast<uint32_t>(GetStorageFreeKB())) return kAddResultNoSpace;

  auto slash = source.find_last_of('/');
  std::string name = CleanPathComponent(slash == std::string::npos ? source : source.substr(slash + 1));
  std::string target = GetDataFolderPath() + "\\" + name;
  auto native = target.size() <= kMaxPlayerPathBytes && IsInsideRoot(target, root_) ? NativePath(target) : std::nullopt;
  if (!native) throw std::runtime_error("The file's name does not fit on the " + family_.deviceNoun + ": " + name);
  int out = ::open(native->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    if (errno == EEXIST) return kAddResultDuplicate;
    throw std::runtime_error("Cannot create " + target + ": " + std::strerror(errno));
  }
  ::close(out);
  copySource_ = source;
  copyTarget_ = target;
  // A data file is no track: its completion names none.
  CopyJob job{source, *native, ProgressWindow(), KernelId(0u), {}};
  job.keepAlive = playerRoot_;
  job.finished = [this](int error) {
    if (error != 0) ReportCopyFailure(error);
  };
  copier_.Enqueue(std::move(job));
  InvalidateCaches();
  return 0;
}

int KernelDeviceMSCBase::GetDataRoot(KernelId& root) {
  root = KernelId(0u);
  return 0;
}

std::string KernelDeviceMSCBase::GetDataFolderPath() {
  auto lock = Lock();
  std::string path = root_ + std::string(kDataFolder);
  if (auto native = NativePath(path)) CreateFolderPath(*native);
  return path;
}

bool KernelDeviceMSCBase::WaitForCopies(std::chrono::milliseconds timeout) {
  return copier_.WaitIdle(static_cast<int>(timeout.count()));
}

// --- The rebuild ---

// Walks and reads the files without the lock; the tracks found go in under it at the end.
void KernelDeviceMSCBase::ImportExistingFiles() {
  std::string root;
  std::shared_ptr<platform::PlayerRoot> playerRoot;
  {
    auto lock = Lock();
    if (!connected_) return;
    root = root_;
    playerRoot = playerRoot_;
  }
  std::string audioRoot = NormalizePath(root + GetAudioRoot() + "\\");
  auto nativeAudioRoot = ResolveOn(playerRoot, audioRoot);
  auto nativeRoot = ResolveOn(playerRoot, root);
  if (!nativeAudioRoot || !nativeRoot) return;
  std::shared_ptr<TrackInfoReader> reader = GetTrackInfoReader();
  if (!reader) reader = std::make_shared<PathTrackInfoReader>(audioRoot, FilenameFormat());
  // Folders of the player that hold no tracks.
  const std::string skipped[] = {std::string(kDataFolder), family_.playlistFolder, family_.notesFolder,
                                 family_.contactsFolder, ".apml"};

  std::error_code ec;
  fs::recursive_directory_iterator it(*nativeAudioRoot, fs::directory_options::skip_permission_denied, ec), end;
  std::vector<SBTrackV100> found;
  for (; !ec && it != end && found.size() < kMaxImportedFiles; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::string relative = fs::path(entry.path()).lexically_relative(*nativeRoot).string();
    if (it.depth() == 0 && entry.is_directory(ec) && *nativeAudioRoot == *nativeRoot) {
      bool skip = false;
      for (const auto& s : skipped) skip = skip || (!s.empty() && EqualsNoCase(entry.path().filename().string(), s));
      if (skip) {
        it.disable_recursion_pending();
        continue;
      }
    }
    if (entry.is_symlink(ec) || !entry.is_regular_file(ec)) continue;
    uint8_t type = GetFileTypeFromPath(entry.path().filename().string());
    if (type == kFileTypeUnknown || type == kFileTypeNvf) continue;
    std::string playerPath = root + ReplaceAll(relative, "/", "\\");
    if (playerPath.size() > kMaxPlayerPathBytes || !IsInsideRoot(playerPath, root)) continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0) continue;
    _AUDIODATA audio;
    audio.path.Set(playerPath);
    audio.fileType = type;
    audio.size = static_cast<uint32_t>(st.st_size);
    audio.modified = static_cast<int32_t>(st.st_mtime);
    if (!reader->Read(entry.path().string(), audio)) continue;
    audio.path.Set(playerPath);
    SBTrackV100 track;
    TrackFromAudioData(track, audio);
    track.SetSize(static_cast<uint64_t>(st.st_size));
    StampTimes(track, st.st_mtime);
    found.push_back(std::move(track));
  }
  auto lock = Lock();
  for (SBTrackV100& track : found) database_->AddTrack(std::move(track), true);
}

}  // namespace hub
