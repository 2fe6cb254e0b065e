// iRiver H-series driver and device: family values, model test, model name,
// track places and the navigation file.
#include "manager/iriver/kernel_device_reaver1.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <numeric>

#include "common/atomic_file.h"
#include "common/track_compare.h"
#include "common/utf16.h"
#include "manager/iriver/reaver_navigation.h"
#include "manager/iriver/reaver_paths.h"
#include "manager/msc/player_text.h"
#include "platform/fs/attributes.h"
#include "platform/fs/volumes.h"

namespace hub {
namespace {

constexpr int kNavigationStepEvery = 1500;
// Tracks read for the navigation file in one hold of the lock.
constexpr size_t kNavigationTracksPerHold = 100;

std::string Text(const SBTrackV100& track, int id) { return Utf16ToUtf8(track.Text(id)); }

}  // namespace

KernelDevice* KernelDriverReaver1::CreateDevice(const KernelId& a, const KernelId& b) {
  return Adopt(std::make_unique<WithWorkers<KernelDeviceReaver1>>(this, a, b));
}

KernelDeviceReaver1::KernelDeviceReaver1(KernelDriver* driver, const KernelId& idA, const KernelId& idB)
    : KernelDeviceMSCBase(driver, idA, idB) {
  family_.deviceNoun = "iRiver";
  family_.databaseFileName = "Tarveld.sbx";
  family_.playlistFolder = "!PLAYLIST";
  family_.notesFolder = "TEXT";
  family_.contactsFolder = "TEXT";
  family_.familyCode = "ih";
  family_.connectHint =
      "Please make sure your player's drive volume name begins with 'IHP' or 'H300'.\n"
      "For H300-Series, plug USB cable into the player's DATA port, not MEDIA port.   ";
  family_.deviceIdPrefix = "060101";
  family_.rebuildMarker = "Tarveld.iDB";
  family_.exportPlaylists = 1;
  family_.ownFiles = {kNavigationFileName};
}

std::string KernelDeviceReaver1::GetModelName() {
  auto lock = Lock();
  // The letter the volume table gave the player; a mount point has no "first two characters".
  char letter = connected_ ? platform::DriveLetterOf(root_) : 0;
  return ReaverModelName(letter);
}

int KernelDeviceReaver1::DetectModel(const std::string& root) {
  std::string label;
  return platform::VolumeLabelAndSerial(root, &label, nullptr) && IsReaverVolumeLabel(label) ? 1 : 0;
}

void KernelDeviceReaver1::BuildTargetPath(const SBTrackV100* track, std::string& folder, std::string& name,
                                          std::string& extension) {
  ReaverTrackTags tags;
  if (track) {
    tags.artist = Text(*track, kTrackTextArtist);
    tags.album = Text(*track, kTrackTextAlbum);
    tags.title = Text(*track, kTrackTextTitle);
    tags.genre = Text(*track, kTrackTextGenre);
    tags.number = track->TrackNumber();
    tags.extension = std::string(CodecExtension(track->Codec()));
  }
  ReaverTargetPath place = BuildReaverTargetPath(track ? &tags : nullptr, ReaverFolderSettings::FromSettings());
  // "iRivNavi.iDB" and the M3U files name the file in the player's code page.
  PlayerTextCodec codec;
  folder = codec.OnlyCodePageCharacters(place.folder, kPlayerNameReplacement);
  name = codec.OnlyCodePageCharacters(place.name, kPlayerNameReplacement);
  extension = place.extension;
}

// The tracks are read under the lock a slice at a time, so that a web request
// waits for one slice rather than the whole walk; they are sorted, and the file
// built and written, without it. A change made between two slices moves the
// change count, and the save that follows it writes the file again.
void KernelDeviceReaver1::WriteNavigationDatabase(ShoeboxProgressMonitor* progress) {
  std::optional<std::string> target;
  std::optional<std::string> hint;
  std::shared_ptr<const void> keepRoot;  // the root the paths go through
  std::vector<uint32_t> ids;
  {
    auto lock = Lock();
    target = NativePath(root_ + kNavigationFileName);
    if (!target) return;
    hint = NativePath(root_ + family_.playlistFolder + "\\" + kReaverPlaylistHintFile);
    keepRoot = HoldRoot();
    // Along the table's links: a lookup per track would cost the hold milliseconds.
    ids.reserve(database_->TrackCount());
    for (const SBTrackV100& t : database_->Tracks()) ids.push_back(t.Id());
  }
  std::vector<TrackSortKey> keys;
  std::vector<NavigationTrack> found;
  keys.reserve(ids.size());
  found.reserve(ids.size());
  _AUDIODATA record;
  for (size_t first = 0; first < ids.size(); first += kNavigationTracksPerHold) {
    auto lock = Lock();
    for (size_t i = first; i < std::min(ids.size(), first + kNavigationTracksPerHold); ++i) {
      const SBTrackV100* t = database_->FindTrack(ids[i]);
      if (!t) continue;  // removed since the walk began
      record.Init();
      try {
        GetTrackInfo(KernelId(ids[i]), record);
      } catch (const std::exception&) {
        record.Init();  // sorts as an empty record, as the id sort does
      }
      keys.push_back(TrackSortKey::Of(record));
      found.push_back({Text(*t, kTrackTextPath), Text(*t, kTrackTextTitle), Text(*t, kTrackTextArtist),
                       Text(*t, kTrackTextAlbum), Text(*t, kTrackTextGenre)});
    }
  }
  // SortableKernelIdArray::Sort(-1)'s order: album order by track number first, stable.
  std::vector<size_t> order(found.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return CompareTrackKeys(keys[a], keys[b], {}) < 0; });
  std::vector<NavigationTrack> tracks;
  tracks.reserve(found.size());
  for (size_t i : order) tracks.push_back(std::move(found[i]));
  if (progress) {
    progress->SetStatus("Writing DBScan...", static_cast<int>(tracks.size()));
    for (size_t i = 0; i < tracks.size(); i += kNavigationStepEvery) progress->Step();
  }
  NavigationFile file = BuildNavigationFile(tracks, PlayerTextCodec());
  if (!WriteFileAtomically(*target, file.bytes)) return;
  platform::WriteFileAttributes(*target, platform::kAttributeHidden);
  {
    auto lock = Lock();
    if (file.leftOut != leftOutShown_) {
      leftOutShown_ = file.leftOut;
      if (file.leftOut) {
        QueueMessage("Your " + family_.deviceNoun + " lists at most 10,240 tracks in its own menus, so " +
                     std::to_string(file.leftOut) +
                     " of your tracks were left out of them. They are still on the player and in the database.");
      }
    }
  }
  if (!hint) return;
  int fd = ::open(hint->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

}  // namespace hub
