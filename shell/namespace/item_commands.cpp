// The item commands.
#include "shell/namespace/item_commands.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/device_track_name.h"
#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/text.h"
#include "common/ui/progress_dialogs.h"
#include "platform/shell/change_notify.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/change_notification.h"
#include "shell/namespace/command_support.h"
#include "shell/namespace/playlist_commands.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/tool_services.h"

namespace hub {

using namespace hub::commands;
namespace ui = platform::ui;

namespace {

constexpr int kNoteExists = 7;
constexpr int kContactExists = 12;
// The bar's range while a whole folder tree goes.
constexpr int kTreeProgressRange = 20;

bool IsQueueFolder(const PidlItem& item) { return item.Kind() == FolderTrackList && item.SubKind() == kTrackListQueue; }
bool IsGroup(const PidlItem& item) {
  uint32_t sub = item.SubKind();
  return (item.Kind() == FolderTrackList && (sub == kTrackListArtist || sub == kTrackListAlbum || sub == kTrackListGenre)) ||
         (item.Kind() == FolderCategory && sub == kTrackListArtist);
}

// The items sorted by their first key word, highest first.
CPidlList SortedDescending(const CPidlList& selection) {
  CPidlList sorted = selection;
  sorted.SortByKey(-1);
  return sorted;
}

// Asks for a name until one is given; false on Cancel. The answer is trimmed.
bool AskName(std::string& name) {
  for (;;) {
    CNameDlg dialog(GetMessageOwner());
    dialog.name = name;
    if (dialog.DoModal() != ui::kIdOk) return false;
    if (!dialog.name.empty()) {
      name = TrimWhitespace(dialog.name);
      return true;
    }
  }
}

// Whether `id` is the root of its tree (the top-level folder itself).
bool IsTreeRoot(KernelDevice& d, uint32_t kind, const KernelId& id) {
  KernelId root;
  int got = kind == FolderData ? d.GetDataRoot(root) : kind == FolderNotes ? d.GetNotesRoot(root) : d.GetContactsRoot(root);
  return got && root == id;
}

}  // namespace

void CollectTrackIds(const CPidlLast& last, std::vector<KernelId>& out) {
  KernelDevice& d = TheClient();
  const PidlItem& item = last.Item();
  auto found = [&](std::string_view artist, std::string_view album, std::string_view genre, uint32_t searchKind) {
    KernelId next;
    next.key[0] = searchKind;
    size_t n = 0;
    for (int more = d.FindTracks(next, artist, album, genre); more && n < kMaxWalk; more = d.FindNextTrack(next), ++n)
      out.push_back(next);
  };
  switch (item.Kind()) {
    case ItemTrack:
    case ItemQueueEntry:
    case ItemTrackWithPlaylists:
    case ItemPlaylistEntry: out.push_back(item.Id()); return;
    case FolderTrackList:
      switch (item.SubKind()) {
        case kTrackListQueue: {
          KernelId id;
          size_t n = 0;
          for (int more = d.GetFirstQueueItem(id); more && n < kMaxWalk; more = d.GetNextQueueItem(id), ++n)
            out.push_back(id);
          return;
        }
        case kTrackListArtist: found(item.Text(), "", "", 0); return;
        case kTrackListAlbum: found(item.Text(), item.Name(), "", 3); return;
        case kTrackListGenre: found("", "", item.Name(), 0); return;
        default: return;
      }
    case FolderCategory:
      if (item.SubKind() == kTrackListArtist) found(item.Name(), "", "", 0);
      return;
    case FolderPlaylist: {
      KernelId playlist = item.Id(), entry;
      size_t n = 0;
      for (int more = d.GetFirstPlaylistItem(playlist, entry); more && n < kMaxWalk;
           more = d.GetNextPlaylistItem(playlist, entry), ++n)
        out.push_back(entry);
      return;
    }
    default: return;
  }
}

bool CollectSelectionTrackIds(const CPidlList& selection, SortableKernelIdArray& out) {
  out.SetDevice(&TheClient());
  bool ordered = false;
  for (const CPidlLast& item : selection) {
    uint32_t kind = item.Item().Kind();
    if (kind == FolderPlaylist || kind == ItemQueueEntry || kind == ItemPlaylistEntry || IsQueueFolder(item.Item()))
      ordered = true;
  }
  return DeviceWork("Could not enumerate Audio ids.", [&] {
    for (const CPidlLast& item : selection) CollectTrackIds(item, out);
    if (!ordered) out.Sort(-1);
  });
}

void NotifyFolderUpdated(LPCITEMIDLIST absolute) {
  if (absolute) platform::SHChangeNotify(platform::SHCNE_UPDATEDIR, platform::SHCNF_FLUSH, absolute, nullptr);
}

void CreateNoteOrContact(const CPidlLast&, const CPidlList& selection) {
  if (selection.GetSize() != 1) return Inform("Please select one item at a time.");
  const PidlItem& target = selection[0].Item();
  if (target.Kind() != FolderNotes && target.Kind() != FolderContacts)
    return Inform("Cannot create new items in this folder.");
  std::string name(kProposedPlaylistName);
  if (!AskName(name)) return;
  if (name.empty()) return Inform("Name cannot be blank.");
  bool exists = false;
  bool done = DeviceWork("Could not create new item.", [&] {
    ui::WaitCursor wait;
    KernelDevice& d = TheClient();
    KernelId made;
    int answer = target.Kind() == FolderNotes ? d.CreateNote(name, target.Id(), made)
                                              : d.CreateContact(name, KernelContact(), target.Id(), made);
    exists = answer == kNoteExists || answer == kContactExists;
    if (exists) return;
    d.SaveDatabase();
  });
  if (exists) return Inform("An item named " + name + " already exists.");
  if (done) RefreshExplorerAfterConnect();
}

void RemoveFromList(const CPidlLast& folder, const CPidlList& selection) {
  if (selection.GetSize() == 0) return Inform("Please select at least one item to remove.");
  uint32_t first = selection[0].Item().Kind();
  if (first != ItemPlaylistEntry && first != ItemQueueEntry) return Inform("This item cannot be removed.");
  bool done = DeviceWork("Could not remove items.", [&] {
    ui::WaitCursor wait;
    KernelDevice& d = TheClient();
    CPidlList sorted = SortedDescending(selection);
    d.ClearIdBatch();
    for (const CPidlLast& item : sorted) {
      if (item.Item().Kind() == ItemPlaylistEntry) d.AddToIdBatch(item.Item().Id());
      else if (item.Item().Kind() == ItemQueueEntry) d.RemoveFromQueue(item.Item().Id());
    }
    if (first == ItemPlaylistEntry) d.RemoveBatchFromPlaylist(folder.Item().Id());
    d.SaveDatabase();
  });
  if (done) RefreshExplorerAfterConnect();
}

void DeleteItems(const CPidlLast& folder, const CPidlList& selection, LPCITEMIDLIST folderAbsolute) {
  if (selection.GetSize() == 0) return Inform("Please select at least one item to delete.");
  const PidlItem& first = selection[0].Item();
  switch (first.Kind()) {
    case ItemTrack:
    case ItemDataFile:
    case ItemPlaylistEntry:
    case ItemTrackWithPlaylists:
    case ItemNote:
    case ItemContact:
    case FolderPlaylist:
    case FolderData:
    case FolderNotes:
    case FolderContacts: break;
    // Queue entries are only ever taken off the queue.
    case ItemQueueEntry: return RemoveFromList(folder, selection);
    default:
      if (!IsGroup(first)) return Inform("This item cannot be deleted.");
  }
  const char* verb = TheProductProfile().productNumber == 9 ? "remove" : "delete";
  if (!AskYesNo(std::string("Are you sure you want to ") + verb + " the selected items?")) return;
  if (first.Kind() == ItemPlaylistEntry) RemoveFromList(folder, selection);
  if (IsGroup(first)) return DeleteTracks(selection, folderAbsolute);

  bool done = DeviceWork("Could not delete items.", [&] {
    ui::WaitCursor wait;
    CDeleteDialog progress;
    progress.Begin("Deleting files...", static_cast<int>(selection.GetSize()));
    KernelDevice& d = TheClient();
    d.SelectSegment(folder.Item().Id());
    for (const CPidlLast& item : SortedDescending(selection)) {
      const PidlItem& it = item.Item();
      KernelId id = it.Id();
      progress.SetStatus(it.Name());
      switch (it.Kind()) {
        case ItemDataFile: d.DeleteDataItem(id); break;
        case ItemTrack:
        case ItemPlaylistEntry:
        case ItemTrackWithPlaylists: d.DeleteTrack(id); break;
        case ItemNote: d.DeleteNote(id); break;
        case ItemContact: d.DeleteContact(id); break;
        case FolderPlaylist:
          d.DeletePlaylist(id);
          if (folderAbsolute) NotifyFolderRemoved(folderAbsolute, item);
          break;
        case FolderData:
        case FolderNotes:
        case FolderContacts: {
          if (ui::Progress* bar = progress.Bar()) {
            bar->SetRange(0, kTreeProgressRange);
            bar->SetPos(0);
          }
          // A top-level folder loses its content; its own listing goes on working.
          bool root = IsTreeRoot(d, it.Kind(), id);
          if (it.Kind() == FolderData) DeleteDataFolderTree(id, progress, root);
          else if (it.Kind() == FolderNotes) DeleteNotesFolderTree(id, progress, root);
          else DeleteContactsFolderTree(id, progress, root);
          if (root) {
            ShellMalloc malloc;
            OwnedIdList joined(ConcatIdLists(malloc, folderAbsolute, item.Pointer()));
            NotifyFolderUpdated(folderAbsolute ? joined.get() : nullptr);
          } else if (folderAbsolute) {
            NotifyFolderRemoved(folderAbsolute, item);
          }
          break;
        }
        default: break;
      }
      progress.Step();
      PumpMessages();
    }
    progress.End();
    d.SaveDatabase();
  });
  if (!done) return;
  RefreshExplorerAfterConnect();
  RefreshExplorerAfterConnect();
}

void DeleteTracks(const CPidlList& selection, LPCITEMIDLIST folderAbsolute) {
  bool done = false;
  {
    CDeleteDialog progress;
    progress.Begin("Deleting tracks...", static_cast<int>(selection.GetSize()));
    ui::WaitCursor wait;
    SortableKernelIdArray tracks;
    // A selection not fully gathered is not deleted in part.
    if (!CollectSelectionTrackIds(selection, tracks)) return;
    if (ui::Progress* bar = progress.Bar()) bar->SetRange(0, static_cast<int>(tracks.size()));
    done = DeviceWork("Could not delete file(s).", [&] {
      KernelDevice& d = TheClient();
      for (const KernelId& id : tracks) {
        d.DeleteTrack(id);
        progress.Step();
        PumpMessages();
      }
      if (folderAbsolute)
        for (const CPidlLast& item : selection) NotifyFolderRemoved(folderAbsolute, item);
      progress.End();
      d.SaveDatabase();
    });
  }
  if (done) RefreshExplorerAfterConnect();
}

void EditItemProperties(const CPidlLast& folder, const CPidlList& selection) {
  if (selection.GetSize() == 0) return;
  uint32_t kind = selection[0].Item().Kind();
  bool track = kind == ItemTrack || kind == ItemPlaylistEntry || kind == ItemTrackWithPlaylists;
  if (!track && kind != ItemNote && kind != ItemContact) return Inform("This item cannot be edited.");
  if (!track && selection.GetSize() > 1) return Inform("Please edit one item at a time.");
  if (track) EditTag(selection);
  else if (kind == ItemNote) EditNote(folder, selection);
  else EditContact(folder, selection);
  DeviceWork("Could not save the database.", [] { TheClient().SaveDatabase(); });
}

void EditTag(const CPidlList& selection) {
  std::vector<KernelId> ids;
  for (const CPidlLast& item : selection)
    if (IsTrackKind(item.Item().Kind())) ids.push_back(item.Item().Id());
  if (ids.empty()) return;
  std::vector<_AUDIODATA> records(ids.size());
  bool read = DeviceWork("Could not read tag.", [&] {
    ui::WaitCursor wait;
    for (size_t i = 0; i < ids.size(); ++i) TheClient().GetTrackInfo(ids[i], records[i]);
  });
  if (!read) return;
  if (GetToolServices().EditTags(GetMessageOwner(), records) != ui::kIdOk) return;
  bool written = DeviceWork("Could not write tag.", [&] {
    ui::WaitCursor wait;
    CDeleteDialog progress;
    progress.Begin("Updating tag information", static_cast<int>(ids.size()));
    for (size_t i = 0; i < ids.size() && i < records.size(); ++i) {
      TheClient().SetTrackInfo(ids[i], records[i]);
      progress.Step();
      PumpMessages();
    }
    progress.End();
  });
  if (written) RefreshExplorerAfterConnect();
}

void EditNote(const CPidlLast&, const CPidlList& selection) {
  if (selection.GetSize() != 1) return Inform("Please select one note to edit.");
  KernelId id = selection[0].Item().Id();
  std::string text;
  if (!DeviceWork("Could not read note.", [&] { text = TheClient().ReadNote(id); })) return;
  if (GetToolServices().EditNote(GetMessageOwner(), text) != ui::kIdOk) return;
  if (DeviceWork("Could not write note.", [&] { TheClient().WriteNote(id, text); })) RefreshExplorerAfterConnect();
}

void EditContact(const CPidlLast&, const CPidlList& selection) {
  if (selection.GetSize() != 1) return Inform("Please select one note to edit.");
  KernelId id = selection[0].Item().Id();
  KernelContact contact;
  if (!DeviceWork("Could not read contact.", [&] { TheClient().ReadContact(id, contact); })) return;
  if (GetToolServices().EditContact(GetMessageOwner(), contact) != ui::kIdOk) return;
  if (DeviceWork("Could not write contact.", [&] { TheClient().WriteContact(id, contact); }))
    RefreshExplorerAfterConnect();
}

void AutoFillTrackNumbers(const CPidlList& selection) {
  int start = 1, step = 1;
  if (GetToolServices().AutoFillTrackNumbers(GetMessageOwner(), start, step) != ui::kIdOk) return;
  try {
    ui::WaitCursor wait;
    KernelDevice& d = TheClient();
    int n = start;
    for (const CPidlLast& item : selection) {
      d.SetTrackNumber(item.Item().Id(), n);
      n += step;
    }
    d.SaveDatabase();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    return Inform("Could not change track numbers.");
  }
  RefreshExplorerAfterConnect();
}

void ShowArtistAlbums(const CPidlLast&, const CPidlList& selection) {
  if (selection.GetSize() == 0) return;
  _AUDIODATA record;
  if (!DeviceWork("Could not read tag.", [&] { TheClient().GetTrackInfo(selection[0].Item().Id(), record); })) return;
  GetToolServices().ShowArtistInfo(GetMessageOwner(), record.artist.Get());
}

void ShowSyncLog() {
  std::string path = GetOutlookSyncLogPath();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Inform("Could not find log file.");
  RunProgram(path, "");
}

std::string GetPcFileName(const CPidlLast& item) {
  const PidlItem& it = item.Item();
  std::string plain = RemoveSlashes(it.Name());
  if (it.Class() != kPidlClassTrack) return plain;
  try {
    KernelDevice& d = TheClient();
    if (d.SupportsTagSearch()) return FormatTrackFileName(d, it.Id());
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
  }
  return plain;
}

}  // namespace hub
