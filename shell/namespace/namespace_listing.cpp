// The namespace tree and its listings.
#include "shell/namespace/namespace_listing.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/version.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/ui_types.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"

namespace hub {
namespace {

using platform::SHCONTF_FOLDERS;
using platform::SHCONTF_NONFOLDERS;

constexpr uint32_t kMaxSegments = 5;
constexpr uint32_t kMaxPresets = 40;
constexpr uint32_t kMaxSegmentEntries = 256;
constexpr uint32_t kMaxEntries = 100000;
constexpr size_t kLastTransferBytes = 4096;

std::array<OwnedIdList, kTopLevelFolderCount>& TopLevelLists() {
  static std::array<OwnedIdList, kTopLevelFolderCount> lists;
  return lists;
}

// Stops a listing whose record could not be allocated; the rows before it stay.
struct OutOfRecords {};

std::string OwnVersion() {
  const std::string& path = TheProductProfile().moduleInstance.path;
  return path.empty() ? GetModuleVersionString() : GetVersionText(path, true);
}

class Lister {
 public:
  Lister(PidlRecordList& out, uint32_t flags) : out_(out), d_(TheClient()), flags_(flags) {}

  bool Folders() const { return (flags_ & SHCONTF_FOLDERS) != 0; }
  bool NonFolders() const { return (flags_ & SHCONTF_NONFOLDERS) != 0; }

  LPCITEMIDLIST Add(uint32_t kind, const KernelId& id, uint32_t position, std::string_view name, uint32_t extra = 0,
                    const _AUDIODATA* track = nullptr, std::string_view text = {}) {
    LPCITEMIDLIST r = out_.BuildPidl(kind, id, position, name, extra, track, text);
    if (!r) throw OutOfRecords{};
    return r;
  }
  // The next record at the running position.
  LPCITEMIDLIST Next(uint32_t kind, const KernelId& id, std::string_view name, uint32_t extra = 0,
                     std::string_view text = {}) {
    return Add(kind, id, position_++, name, extra, nullptr, text);
  }

  // A message block: head at 0, lines at 1 and 2, the link at `linkPosition`
  // with the web address the product key holds under `urlSetting`.
  void Message(std::string_view head, const std::vector<std::string>& lines, uint32_t linkPosition,
               std::string_view link, std::string_view urlSetting) {
    Add(ItemMessageHead, KernelId(), 0, head);
    uint32_t p = 1;
    for (const std::string& line : lines) Add(ItemMessageLine, KernelId(), p++, line);
    Add(ItemLink, KernelId(), linkPosition, link, 0, nullptr, SettingString(urlSetting, ""));
  }

  void Root(LPCITEMIDLIST absolute);
  void Folder(const PidlItem& folder);

 private:
  void ListUtilities();
  void ListDeviceInfo();
  void ListSegment(const PidlItem& folder);
  void ListChildren(const PidlItem& folder);
  void ListFmPresets();
  void ListPlaylist(const KernelId& playlist);
  void ListCategory(const PidlItem& folder);
  void ListTrackList(const PidlItem& folder);
  void ListFoundTracks(std::string_view artist, std::string_view album, std::string_view genre);
  void ListEmptyDatabase();
  void KeepTopLevel(TopLevelFolder which, LPCITEMIDLIST absolute, LPCITEMIDLIST item);

  PidlRecordList& out_;
  KernelDevice& d_;
  uint32_t flags_;
  uint32_t position_ = 1;
};

// The last-transfer list: track keys the transfer engine stored for this device.
std::vector<uint32_t> LastTransferKeys(KernelDevice& d) {
  std::string bytes;
  ReadSettingBinary("Vad_Tx_LastTransfer" + Sha1HexOfString(d.GetDeviceId()), bytes);
  // The stored value may be longer than the buffer it is read into: never past it.
  size_t count = std::min(bytes.size(), kLastTransferBytes) / 4;
  std::vector<uint32_t> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + 4 * i;
    keys[i] = platform::ReadLittleEndian32(p);
  }
  return keys;
}

void Lister::KeepTopLevel(TopLevelFolder which, LPCITEMIDLIST absolute, LPCITEMIDLIST item) {
  if (!absolute) return;
  OwnedIdList& slot = TopLevelLists()[static_cast<size_t>(which)];
  if (slot) return;
  ShellMalloc malloc;
  slot.reset(item ? ConcatIdLists(malloc, absolute, item) : CopyIdList(malloc, absolute));
}

void Lister::Root(LPCITEMIDLIST absolute) {
  KeepTopLevel(TopLevelFolder::Root, absolute, nullptr);
  const ProductProfile& profile = TheProductProfile();
  if (d_.HasMemorySegments()) {
    KernelId segment;
    uint32_t n = 0;
    for (int more = d_.GetFirstSegment(segment); more && n < kMaxSegments; more = d_.GetNextSegment(segment), ++n)
      Next(FolderSegment, segment, d_.GetSegmentName(segment));
  }
  if (d_.SupportsFmPresets() && SettingDword("N2_HideFMTuner", 0) == 0) Next(FolderFmTuner, KernelId(99u), "FM Radio Tuner");
  bool tags = d_.SupportsTagSearch() != 0;
  bool playlists = d_.SupportsPlaylists() != 0;
  if (tags) KeepTopLevel(TopLevelFolder::AudioTracks, absolute, Next(FolderTrackList, KernelId(kTrackListAll), "Audio Tracks"));
  if (d_.SupportsDataFiles()) {
    KernelId root, child;
    d_.GetDataRoot(root);
    uint32_t count = static_cast<uint32_t>(d_.GetFirstDataChild(root, child));
    KeepTopLevel(TopLevelFolder::DataFiles, absolute, Next(FolderData, root, "Data Files", count));
  }
  // The link takes its place in the order even when it is left out.
  if (d_.SupportsDataFolder() && NonFolders())
    Add(ItemCommandLink, KernelId(3011u), position_, "Data Files", 0, nullptr, d_.GetDataFolderPath());
  ++position_;
  if (tags && d_.SupportsQuery()) KeepTopLevel(TopLevelFolder::Search, absolute, Next(FolderTrackList, KernelId(kTrackListSearch), "Search"));
  if (d_.SupportsDevicePlayback())
    KeepTopLevel(TopLevelFolder::ActiveQueue, absolute, Next(FolderTrackList, KernelId(kTrackListQueue), "Active Queue"));
  if (playlists) {
    KernelId first;
    uint32_t count = static_cast<uint32_t>(d_.GetFirstPlaylist(first));
    KeepTopLevel(TopLevelFolder::Playlists, absolute, Next(FolderCategory, KernelId(1u), "Playlists", count));
  }
  if (tags) {
    KernelTextField name;
    uint32_t artists = static_cast<uint32_t>(d_.GetFirstArtist(name));
    KeepTopLevel(TopLevelFolder::Artists, absolute, Next(FolderCategory, KernelId(2u), "Artists", artists));
    uint32_t albums = static_cast<uint32_t>(d_.GetFirstAlbum(name, ""));
    KeepTopLevel(TopLevelFolder::Albums, absolute, Next(FolderCategory, KernelId(3u), "Albums", albums));
    uint32_t genres = static_cast<uint32_t>(d_.GetFirstGenre(name));
    KeepTopLevel(TopLevelFolder::Genres, absolute, Next(FolderCategory, KernelId(4u), "Genres", genres));
  }
  if (d_.SupportsContacts()) {
    KernelId root, child;
    d_.GetContactsRoot(root);
    uint32_t count = static_cast<uint32_t>(d_.GetFirstContactChild(root, child));
    KeepTopLevel(TopLevelFolder::Contacts, absolute, Next(FolderContacts, root, "Contacts", count));
  }
  if (d_.SupportsNotes()) {
    KernelId root, child;
    d_.GetNotesRoot(root);
    uint32_t count = static_cast<uint32_t>(d_.GetFirstNoteChild(root, child));
    KeepTopLevel(TopLevelFolder::Notes, absolute, Next(FolderNotes, root, "Notes", count));
  }
  if (tags && playlists)
    Next(FolderTrackList, KernelId(kTrackListLastTransfer), "Last Transfer", static_cast<uint32_t>(LastTransferKeys(d_).size()));
  if (d_.HasMemorySegments() && NonFolders())
    Add(ItemCommandLink, KernelId(2099u), 0, "Open " + profile.playlistToGoName + "...");
  uint32_t tools = (d_.SupportsDatabaseTools() ? 3 : 0) + (d_.SupportsReorganize() ? 1 : 0) + (playlists ? 1 : 0);
  if (tools > 0) Next(FolderUtilities, KernelId(), "Utilities", tools);
  uint32_t info = 4 + (d_.SupportsDeviceTime() ? 1 : 0) + (d_.SupportsAudio() ? 1 : 0) + (tags ? 1 : 0) +
                  (playlists ? 1 : 0) + (d_.SupportsDataFiles() ? 1 : 0) + (d_.SupportsFmPresets() ? 1 : 0) +
                  (d_.SupportsDevicePlayback() ? 1 : 0);
  Next(FolderDeviceInfo, KernelId(), "Device Information", info);
}

void Lister::ListUtilities() {
  const ProductProfile& p = TheProductProfile();
  bool tools = d_.SupportsDatabaseTools() != 0;
  if (tools)
    Next(ItemUtility, KernelId(5010u), "Import Existing Content", 0,
         "Import existing tracks and playlists on your " + p.deviceLabel + " into the " + p.displayName + " database.");
  if (tools)
    Next(ItemUtility, KernelId(5040u), "Remove Orphans", 0,
         "Remove database entries that refer to files that no longer exist on your " + p.deviceLabel + ".");
  if (d_.SupportsReorganize())
    Next(ItemUtility, KernelId(5020u), "Reorganize Files", 0,
         "Reorganize all music files into the folder structure specified in " + p.displayName + " Options.");
  if (tools)
    Next(ItemUtility, KernelId(5030u), "Rebuild Database", 0,
         "Rebuild " + p.displayName + " database entirely by rescanning existing tracks and playlists on your " +
             p.deviceLabel + ".");
  if (d_.SupportsPlaylists())
    Next(ItemUtility, KernelId(5050u), "Remove Empty Playlists", 0,
         "Remove playlists that are empty and contain no music tracks.");
}

void Lister::ListDeviceInfo() {
  const ProductProfile& p = TheProductProfile();
  auto line = [&](std::string_view label, std::string_view value) { Next(ItemInfoLine, KernelId(), label, 0, value); };
  line("Model", d_.GetModelName());
  if (d_.SupportsDeviceTime()) line("Date/Time", FormatDateTime(d_.GetDeviceTime()));
  line("Owner", d_.GetOwnerName());
  for (auto [label, value] : {std::pair<const char*, std::string>{"Hardware Version", d_.GetHardwareVersion()},
                              {"Firmware Version", d_.GetFirmwareVersion()},
                              {"Driver Version", d_.GetDriverVersion()}})
    if (value != "0") line(label, value);
  line(p.displayName + " Device ID", Sha1HexOfString(d_.GetDeviceId()));
  if (d_.SupportsAudio()) line("Audio Support", "Yes");
  if (d_.SupportsTagSearch()) line("Tag/Search Support", "Yes");
  if (d_.SupportsPlaylists()) line("Playlist Support", "Yes");
  if (d_.SupportsDataFiles()) line("Data Support", "Yes");
  if (d_.SupportsFmPresets()) line("FM Preset Support", "Yes");
  if (d_.SupportsDevicePlayback()) line("'Play on Jukebox' Support", "Yes");
}

void Lister::ListSegment(const PidlItem& folder) {
  KernelId segment = folder.Id();
  d_.SelectSegment(segment);
  bool any = false;
  KernelId id;
  uint32_t n = 0;
  for (int more = d_.GetFirstTrack(id); more && n < kMaxSegmentEntries; more = d_.GetNextTrack(id), ++n) {
    Next(ItemTrack, id, d_.GetTrackItemName(id));
    any = true;
  }
  KernelId root;
  d_.GetDataRoot(root);
  n = 0;
  for (int more = d_.GetFirstDataChild(root, id); more && n < kMaxSegmentEntries; more = d_.GetNextDataChild(root, id), ++n) {
    std::string name = d_.GetDataItemName(id);
    // The player's own index files ("N0....AUX") are not the user's.
    size_t aux = name.find(".AUX");
    if (name.rfind("N0", 0) == 0 && aux != std::string::npos && aux > 0) continue;
    Next(ItemDataFile, id, name);
    any = true;
  }
  if (!any) Next(ItemCommandLink, KernelId(), "Memory is empty. Drag and drop your audio files here to transfer.");
}

// Data files, notes and contacts: the children of one folder, folders for the
// tree and files for the right pane, each at its index.
void Lister::ListChildren(const PidlItem& folder) {
  uint32_t kind = folder.Kind();
  KernelId parent = folder.Id();
  std::vector<KernelId> children;
  KernelId child;
  auto first = [&](KernelId& c) {
    return kind == FolderData ? d_.GetFirstDataChild(parent, c)
           : kind == FolderNotes ? d_.GetFirstNoteChild(parent, c)
                                 : d_.GetFirstContactChild(parent, c);
  };
  auto next = [&](KernelId& c) {
    return kind == FolderData ? d_.GetNextDataChild(parent, c)
           : kind == FolderNotes ? d_.GetNextNoteChild(parent, c)
                                 : d_.GetNextContactChild(parent, c);
  };
  for (int more = first(child); more && children.size() < kMaxEntries; more = next(child)) children.push_back(child);
  uint32_t itemKind = kind == FolderData ? ItemDataFile : kind == FolderNotes ? ItemNote : ItemContact;
  for (size_t i = 0; i < children.size(); ++i) {
    const KernelId& c = children[i];
    bool isFolder = kind == FolderData ? d_.IsDataFolder(c) != 0
                    : kind == FolderNotes ? d_.GetNoteItemKind(c) != 0
                                          : d_.GetContactItemKind(c) != 0;
    if (isFolder ? !Folders() : !NonFolders()) continue;
    std::string name = kind == FolderData ? d_.GetDataItemName(c)
                       : kind == FolderNotes ? d_.GetNoteItemName(c)
                                             : d_.GetContactItemName(c);
    uint32_t extra = 0;
    if (isFolder) {
      KernelId grandchild;
      extra = static_cast<uint32_t>(kind == FolderData ? d_.GetFirstDataChild(c, grandchild)
                                    : kind == FolderNotes ? d_.GetFirstNoteChild(c, grandchild)
                                                          : d_.GetFirstContactChild(c, grandchild));
    }
    Add(isFolder ? kind : itemKind, c, static_cast<uint32_t>(i), name, extra);
  }
}

void Lister::ListFmPresets() {
  KernelId preset;
  uint32_t n = 0;
  for (int more = d_.GetFirstFmPreset(preset); more && n < kMaxPresets; more = d_.GetNextFmPreset(preset), ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "%.2f MHz", d_.GetFmPresetFrequency(preset) * 0.01);
    Next(ItemFmPreset, preset, name);
  }
}

void Lister::ListPlaylist(const KernelId& playlist) {
  KernelId item;
  uint32_t n = 0;
  for (int more = d_.GetFirstPlaylistItem(playlist, item); more && n < kMaxEntries;
       more = d_.GetNextPlaylistItem(playlist, item), ++n)
    Next(ItemPlaylistEntry, item, "");
}

void Lister::ListCategory(const PidlItem& folder) {
  KernelTextField name;
  uint32_t n = 0;
  switch (folder.SubKind()) {
    case 1: {
      if (ClientDeviceNumber() != 8) Add(FolderTrackList, KernelId(kTrackListPlaylistIndex), position_++, "[ Playlist Index ]");
      KernelId playlist;
      for (int more = d_.GetFirstPlaylist(playlist); more && n < kMaxEntries; more = d_.GetNextPlaylist(playlist), ++n)
        Next(FolderPlaylist, playlist, d_.GetPlaylistName(playlist));
      break;
    }
    case 2: {
      std::vector<std::string> artists;
      for (int more = d_.GetFirstArtist(name); more && artists.size() < kMaxEntries; more = d_.GetNextArtist(name))
        artists.emplace_back(name.Get());
      for (const std::string& artist : artists) {
        KernelTextField album;
        uint32_t albums = static_cast<uint32_t>(d_.GetFirstAlbum(album, artist));
        Next(FolderCategory, KernelId(5u), artist, albums, artist);
      }
      break;
    }
    case 3:
    case 4: {
      // A count between two steps of the walk asks a search, which keeps its own place.
      bool albums = folder.SubKind() == 3;
      for (int more = albums ? d_.GetFirstAlbum(name, "") : d_.GetFirstGenre(name); more && n < kMaxEntries;
           more = albums ? d_.GetNextAlbum(name) : d_.GetNextGenre(name), ++n) {
        std::string value(name.Get());
        KernelId first;
        uint32_t count = static_cast<uint32_t>(albums ? d_.FindTracks(first, "", value, "") : d_.FindTracks(first, "", "", value));
        Next(FolderTrackList, KernelId(albums ? kTrackListAlbum : kTrackListGenre), value, count);
      }
      break;
    }
    case 5: {
      std::string artist(folder.Name());
      KernelId first;
      Add(FolderTrackList, KernelId(kTrackListArtist), 1, "[ All: " + artist + " ]",
          static_cast<uint32_t>(d_.FindTracks(first, artist, "", "")), nullptr, artist);
      position_ = 2;
      std::vector<std::string> albums;
      for (int more = d_.GetFirstAlbum(name, artist); more && albums.size() < kMaxEntries; more = d_.GetNextAlbum(name))
        albums.emplace_back(name.Get());
      for (const std::string& album : albums)
        Next(FolderTrackList, KernelId(kTrackListAlbum), album, static_cast<uint32_t>(d_.FindTracks(first, artist, album, "")),
             artist);
      break;
    }
    default: break;
  }
}

void Lister::ListFoundTracks(std::string_view artist, std::string_view album, std::string_view genre) {
  KernelId id;
  uint32_t n = 0;
  for (int more = d_.FindTracks(id, artist, album, genre); more && n < kMaxEntries; more = d_.FindNextTrack(id), ++n)
    Add(ItemTrack, id, id.key[0], "");
}

void Lister::ListEmptyDatabase() {
  const ProductProfile& p = TheProductProfile();
  std::string none = "No tracks found in the " + p.displayName + " database.";
  if (p.productNumber == 9) {
    Add(ItemNotice, KernelId(), 0, none);
    Add(ItemMessageLine, KernelId(), 1, "To add tracks, drag and drop files or folders here.");
  } else if (d_.SupportsDatabaseTools()) {
    Add(ItemNotice, KernelId(), 0, " " + none);
    Add(ItemUtility, KernelId(5010u), 1, "Double-click here to import tracks and playlists already on your " + p.deviceLabel + ".");
    Add(ItemMessageLine, KernelId(), 2, "Or, drag and drop here to transfer new tracks.");
  } else if (d_.DeviceOp2400()) {
    Add(ItemNotice, KernelId(), 0, none);
    Add(ItemMessageLine, KernelId(), 2, "Or, drag and drop new tracks here.");
  } else {
    Add(ItemCommandLink, KernelId(), 0, "Player is empty. Drag and drop your audio files here to transfer.");
    if (p.productNumber == 4) {
      Add(ItemMessageLine, KernelId(), 1, "If you think are you missing some tracks, try using the 'Recover Missing Tracks'");
      Add(ItemMessageLine, KernelId(), 2, "utility under 'Ovelin Manager Options' in the systray icon's menu.");
    }
  }
}

void Lister::ListTrackList(const PidlItem& folder) {
  switch (folder.SubKind()) {
    case kTrackListAll: {
      KernelId id;
      _AUDIODATA record{};
      uint32_t n = 0;
      for (int more = d_.GetFirstTrackInfo(id, record); more && n < kMaxEntries; more = d_.GetNextTrackInfo(id, record), ++n)
        Add(ItemTrack, id, id.key[0], "", 0, &record);
      if (n == 0) ListEmptyDatabase();
      break;
    }
    case kTrackListSearch: {
      // The two searches as rows above their results (the sort keeps them first).
      if (NonFolders()) {
        Add(ItemCommandLink, KernelId(2055u), 0, "Simple Search");
        Add(ItemCommandLink, KernelId(2056u), 0, "Advanced Search");
      }
      std::vector<KernelId> results = SearchResults();
      for (size_t i = 0; i < results.size(); ++i)
        if (d_.TrackOp6070(results[i])) Add(ItemTrack, results[i], static_cast<uint32_t>(i), "");
      break;
    }
    case kTrackListQueue: {
      int current = d_.GetQueuePosition();
      KernelId item;
      int i = 0;
      for (int more = d_.GetFirstQueueItem(item); more && i < static_cast<int>(kMaxEntries); more = d_.GetNextQueueItem(item), ++i)
        Add(ItemQueueEntry, item, static_cast<uint32_t>(i), "", static_cast<uint32_t>(i < current ? -1 : i == current ? 0 : 1));
      break;
    }
    case kTrackListArtist: ListFoundTracks(folder.Text(), "", ""); break;
    case kTrackListAlbum: ListFoundTracks(folder.Text(), folder.Name(), ""); break;
    case kTrackListGenre: ListFoundTracks("", "", folder.Name()); break;
    case kTrackListLastTransfer:
      for (uint32_t key : LastTransferKeys(d_)) {
        KernelId id(key);
        if (d_.TrackOp6070(id)) Add(ItemTrack, id, key, "");
      }
      break;
    case kTrackListPlaylistIndex: {
      // Every track with the playlists that hold it, at its key.
      KernelId id;
      uint32_t n = 0;
      for (int more = d_.GetFirstTrack(id); more && n < kMaxEntries; more = d_.GetNextTrack(id), ++n)
        Add(ItemTrackWithPlaylists, id, id.key[0], "");
      break;
    }
    default: break;
  }
}

std::string CountedThings(uint32_t code) {
  switch (code) {
    case 6020: return "audio tracks";
    case 7020: return "data files";
    case 8020: return "playlists";
    default: return "items";
  }
}

// The report of a failed listing, by the folder that was being listed.
void ReportListingFailure(const PidlItem* folder, const KernelDeviceClientException& e) {
  const ProductProfile& p = TheProductProfile();
  using platform::ui::kMbIconInformation;
  if (!folder) {
    if (e.title == kDeviceTimeoutTitle) {
      char text[1024];
      std::snprintf(text, sizeof text,
                    "%s timed out while counting the number of %s\non your device (op: %d).\n\n"
                    "Please try closing the Explorer window and opening a new one.\n"
                    "If this problem persists, please contact Quorral support.",
                    p.managerName.c_str(), CountedThings(e.code).c_str(), static_cast<int>(e.code));
      ShowMessage(text, kMbIconInformation);
    } else {
      ReportClientException("Could not access device.  " + p.managerName + " may not be running.", e);
    }
    return;
  }
  static const char* const kCategories[] = {"playlists", "artists", "albums", "genres", "artist"};
  static const char* const kTrackLists[] = {"audio tracks", "data files", "", "active queue tracks",
                                            "artist tracks", "album tracks", "genre tracks"};
  switch (folder->Kind()) {
    case FolderUtilities:
      ShowMessage("Could not display Utility items.", kMbIconInformation);
      ReportClientException("", e);
      break;
    case FolderDeviceInfo:
      ShowMessage("Could not display Device Info items.", kMbIconInformation);
      ReportClientException("", e);
      break;
    case FolderSegment: ReportClientException("Could not access " + std::string(folder->Name()) + ".", e); break;
    case FolderFmTuner: ReportClientException("Could not access FM presets.", e); break;
    case FolderPlaylist: ReportClientException("Could not access playlist items.", e); break;
    case FolderCategory: {
      uint32_t sub = folder->SubKind();
      ReportClientException(std::string("Could not access ") + (sub >= 1 && sub <= 5 ? kCategories[sub - 1] : "") + ".", e);
      break;
    }
    case FolderTrackList: {
      uint32_t sub = folder->SubKind();
      ReportClientException(std::string("Could not access ") + (sub >= 1 && sub <= 7 ? kTrackLists[sub - 1] : "") + ".", e);
      break;
    }
    default: ReportClientException("Could not access device.  " + p.managerName + " may not be running.", e); break;
  }
}

void Lister::Folder(const PidlItem& folder) {
  switch (folder.Kind()) {
    case FolderUtilities: ListUtilities(); break;
    case FolderDeviceInfo: ListDeviceInfo(); break;
    case FolderSegment: ListSegment(folder); break;
    case FolderData:
    case FolderNotes:
    case FolderContacts: ListChildren(folder); break;
    case FolderFmTuner: ListFmPresets(); break;
    case FolderPlaylist: ListPlaylist(folder.Id()); break;
    case FolderCategory: ListCategory(folder); break;
    case FolderTrackList: ListTrackList(folder); break;
    default: break;
  }
}

// The manager's version; a manager that cannot be reached or does not answer has none.
std::string ManagerVersion(KernelDevice& d) {
  try {
    return d.GetVersion();
  } catch (const KernelDeviceClientException& e) {
    if (e.title == kDeviceConnectionTitle || e.title == kDeviceTimeoutTitle) return {};
    throw;
  }
}

}  // namespace

std::recursive_mutex& ListingLock() {
  static std::recursive_mutex lock;
  return lock;
}

OwnedIdList CopyTopLevelFolderList(TopLevelFolder folder) {
  std::lock_guard lock(ListingLock());
  const OwnedIdList& slot = TopLevelLists()[static_cast<size_t>(folder)];
  ShellMalloc malloc;
  return OwnedIdList(slot ? CopyIdList(malloc, slot.get()) : nullptr);
}

void ForgetTopLevelFolderLists() {
  std::lock_guard lock(ListingLock());
  for (OwnedIdList& slot : TopLevelLists()) slot.reset();
}

int GetPlayOnComputerMode() {
  KernelDevice& d = TheClient();
  return d.SupportsTagSearch() || d.SupportsPlayOnComputer() ? 1068 : 1061;
}

void BuildListing(PidlRecordList& out, const ListingRequest& request, bool& connectTried) {
  std::lock_guard lock(ListingLock());
  Lister list(out, request.flags);
  const ProductProfile& p = TheProductProfile();
  std::optional<PidlItem> folder;
  try {
    ReconnectClient();
    KernelDevice& d = TheClient();
    std::string manager = ManagerVersion(d);
    if (manager.empty()) {
      if (list.NonFolders())
        list.Message("It appears " + p.managerName + " timed out while counting items on your device.",
                     {"Please try closing this Explorer window and opening a new one."}, 3,
                     "If this problem persists, please contact us by double-clicking here.", "URL_SupportMail");
      return;
    }
    std::string own = OwnVersion();
    if (manager != own) {
      if (list.NonFolders())
        list.Message("The installed versions of " + p.explorerName + " and " + p.managerName + " are different:",
                     {"Explorer: " + own + ", " + "Manager: " + manager,
                      "If you just upgraded, please reboot so " + p.displayName + " can update the remaining files."},
                     4,
                     "If this message persists, please follow the clean-reinstall steps in section 2.2.4 of the " +
                         p.displayName + " Varnholt.",
                     "URL_Help");
      return;
    }
    KernelTextField expected, connected;
    if (d.ProbeDevice(ClientOwnId(), expected, connected) == 0) {
      if (list.NonFolders()) {
        char head[400];
        std::snprintf(head, sizeof head, "The device currently connected is not a '%s'.", std::string(expected.Get()).c_str());
        char line[400];
        std::snprintf(line, sizeof line, "It is a '%s'.", std::string(connected.Get()).c_str());
        list.Message(head, {line, "Make sure you are using the correct systray icon to connect."}, 3,
                     "For more help, double-click here to browse section 2.3.2 of the " + p.displayName + " Varnholt.",
                     "URL_Help");
      }
      return;
    }
    if (!connectTried) {
      connectTried = true;
      d.Connect(0);
    }
    if (!d.IsConnected()) {
      if (list.NonFolders())
        list.Message(p.displayName + " cannot currently establish communication with your device.",
                     {"Please make sure that " + p.managerName + " is running in the systray and",
                      "verify that your device is on and properly connected."},
                     3, "For more help, double-click here to browse to our online Troubleshooter.", "URL_HelpTshooter");
      return;
    }
    try {
      if (LPCITEMIDLIST last = GetLastItem(request.relative)) folder.emplace(PidlItem(last));
    } catch (const CPidlException&) {
      folder.reset();  // a list we cannot read stands for the root
    }
    if (folder)
      list.Folder(*folder);
    else
      list.Root(request.absolute);
  } catch (const KernelDeviceClientException& e) {
    ReportListingFailure(folder ? &*folder : nullptr, e);
  } catch (const OutOfRecords&) {
    // The rows made so far stay.
  } catch (const std::bad_alloc&) {
  } catch (const CPidlException&) {
  }
}

}  // namespace hub
