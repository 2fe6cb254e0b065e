// Playlists of a mass-storage player: records of its database, changed in
// place and marked modified (the save writes them), and exported as M3U files
// for the player's firmware after each save.
#include <random>
#include <stdexcept>
#include <string>

#include "common/device_track_name.h"
#include "common/sortable_id_array.h"
#include "common/utf16.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "manager/msc/m3u_export.h"
#include "manager/msc/playlist_order.h"

namespace hub {
namespace {

constexpr int kPlaylistDone = 0;
constexpr int kNoSuchPlaylist = 3;
constexpr int kPlaylistNameTaken = 4;

}  // namespace

int KernelDeviceMSCBase::SupportsPlaylists() { return 1; }

int KernelDeviceMSCBase::CreatePlaylist(std::string_view name, KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  std::u16string wanted(BoundShoeboxText(Utf8ToUtf16(name)));
  ShoeboxPosition pos;
  for (auto* p = database_->FirstPlaylist(pos); p; p = database_->NextPlaylist(pos)) {
    if (p->Name() == wanted) return kPlaylistNameTaken;
  }
  SBPlaylistV100 playlist;
  playlist.SetName(wanted);
  uint32_t id = database_->AddPlaylist(std::move(playlist), true);
  newId = KernelId(id);
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::DeletePlaylist(const KernelId& playlist) {
  auto lock = Lock();
  RequireConnected();
  if (!database_->FindPlaylist(playlist.key[0])) return kNoSuchPlaylist;
  database_->RemovePlaylist(playlist.key[0]);
  MarkModified();
  return kPlaylistDone;
}

std::string KernelDeviceMSCBase::GetPlaylistName(const KernelId& playlist) {
  auto lock = Lock();
  const SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  return p ? Utf16ToUtf8(p->Name()) : std::string();
}

int KernelDeviceMSCBase::RenamePlaylist(const KernelId& playlist, std::string_view name) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p) return kNoSuchPlaylist;
  p->SetName(Utf8ToUtf16(name));
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::AddBatchToPlaylist(const KernelId& playlist) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p) return kNoSuchPlaylist;
  // An id that names no track (deleted meanwhile) refuses the whole batch.
  for (const KernelId& id : IdBatch())
    if (!database_->FindTrack(id.key[0]))
      throw std::runtime_error("The track " + std::to_string(id.key[0]) + " is no longer on the " +
                               family_.deviceNoun + "; nothing was added to the playlist.");
  for (const KernelId& id : IdBatch()) p->items.push_back(id.key[0]);
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::RemoveBatchFromPlaylist(const KernelId& playlist) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p) return kNoSuchPlaylist;
  std::vector<std::pair<uint32_t, int>> named;
  for (const KernelId& id : IdBatch()) named.emplace_back(id.key[0], static_cast<int>(id.key[3]));
  RemovePlaylistPositions(p->items, named);
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::MovePlaylistItems(const KernelId& playlist, int first, int target, int count) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p || !MovePlaylistBlock(p->items, first, target, count)) return kNoSuchPlaylist;
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::ShufflePlaylist(const KernelId& playlist) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p) return kNoSuchPlaylist;
  std::mt19937 generator(std::random_device{}());
  ShufflePlaylistItems(p->items, generator);
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::SortPlaylist(const KernelId& playlist, int key) {
  auto lock = Lock();
  RequireConnected();
  SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p) return kNoSuchPlaylist;
  SortableKernelIdArray ids(this);
  for (uint32_t track : p->items) ids.push_back(KernelId(track));
  ids.Sort(key);
  // Sorting asks the device for records; find the playlist again in case it moved.
  p = database_->FindPlaylist(playlist.key[0]);
  if (!p || p->items.size() != ids.size()) return kNoSuchPlaylist;
  for (size_t i = 0; i < ids.size(); ++i) p->items[i] = ids[i].key[0];
  MarkModified();
  return kPlaylistDone;
}

int KernelDeviceMSCBase::FirstPlaylistEntry(KernelId& playlist) {
  auto lock = Lock();
  const SBPlaylistV100* p = database_->FirstPlaylist(playlistPosition_);
  if (!p) return 0;
  playlist = KernelId(p->Id());
  return static_cast<int>(database_->PlaylistCount());
}

int KernelDeviceMSCBase::NextPlaylistEntry(KernelId& playlist) {
  auto lock = Lock();
  const SBPlaylistV100* p = database_->NextPlaylist(playlistPosition_);
  if (!p) return 0;
  playlist = KernelId(p->Id());
  return 1;
}

int KernelDeviceMSCBase::FirstPlaylistItemEntry(const KernelId& playlist, KernelId& item) {
  auto lock = Lock();
  playlistItemIndex_ = 0;
  const SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p || p->items.empty()) return 0;
  item = KernelId(p->items[0]);
  item.key[3] = 0;
  playlistItemIndex_ = 1;
  return static_cast<int>(p->items.size());
}

int KernelDeviceMSCBase::NextPlaylistItemEntry(const KernelId& playlist, KernelId& item) {
  auto lock = Lock();
  const SBPlaylistV100* p = database_->FindPlaylist(playlist.key[0]);
  if (!p || playlistItemIndex_ < 0 || static_cast<size_t>(playlistItemIndex_) >= p->items.size()) return 0;
  item = KernelId(p->items[playlistItemIndex_]);
  item.key[3] = static_cast<uint32_t>(playlistItemIndex_);
  ++playlistItemIndex_;
  return 1;
}

// The playlists are read under the lock and the files written without it.
void KernelDeviceMSCBase::ExportPlaylists() {
  std::optional<std::string> folder;
  std::shared_ptr<const void> keepRoot;  // the root the folder's path goes through
  std::vector<M3uPlaylist> playlists;
  {
    auto lock = Lock();
    folder = NativePath(root_ + family_.playlistFolder);
    if (!folder) return;
    keepRoot = HoldRoot();
    ShoeboxPosition pos;
    for (auto* p = database_->FirstPlaylist(pos); p; p = database_->NextPlaylist(pos)) {
      M3uPlaylist out;
      out.name = Utf16ToUtf8(p->Name());
      for (uint32_t id : p->items) {
        const SBTrackV100* track = database_->FindTrack(id);
        if (!track) continue;  // a missing track is left out of the file
        out.entries.push_back({track->U32(kTrackOffLengthMs), FormatTrackFileName(*this, KernelId(id)),
                               Utf16ToUtf8(track->Path())});
      }
      playlists.push_back(std::move(out));
    }
  }
  PlayerTextCodec codec;
  for (const std::string& failed : ExportM3uFolder(*folder, playlists, codec)) QueueMessage(M3uWriteFailedMessage(failed));
}

}  // namespace hub
