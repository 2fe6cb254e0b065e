// Change notification and the folder-tree walkers.
#include "shell/namespace/change_notification.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/shell/change_notify.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/the_client.h"

namespace hub {
namespace {

using namespace hub::platform;

constexpr int kMaxTreeDepth = 64;

// The operations one walker uses.
struct TreeOps {
  int (KernelDevice::*first)(const KernelId&, KernelId&);
  int (KernelDevice::*next)(const KernelId&, KernelId&);
  int (KernelDevice::*isFolder)(const KernelId&);
  std::string (KernelDevice::*name)(const KernelId&);
  int (KernelDevice::*deleteItem)(const KernelId&);
  int (KernelDevice::*deleteFolder)(const KernelId&);
};

// An id as a whole: its key words and its name.
using IdKey = std::string;
IdKey KeyOf(const KernelId& id) {
  IdKey key(reinterpret_cast<const char*>(id.key), sizeof id.key);
  key.append(id.name, strnlen(id.name, kKernelIdNameSize));
  return key;
}

void DeleteTree(const TreeOps& ops, const KernelId& folder, CDeleteDialog& progress, int depth, std::set<IdKey>& seen,
                bool keepFolder) {
  // A device that reports a folder inside itself would walk without end.
  if (depth > kMaxTreeDepth || !seen.insert(KeyOf(folder)).second)
    throw KernelDeviceClientException(0x80004005, "Device", "The folder tree on the device leads back into itself.");
  KernelDevice& d = TheClient();
  std::vector<KernelId> children;
  KernelId child;
  for (int more = (d.*ops.first)(folder, child); more; more = (d.*ops.next)(folder, child)) children.push_back(child);
  for (const KernelId& c : children) {
    progress.Step();
    if ((d.*ops.isFolder)(c)) {
      DeleteTree(ops, c, progress, depth + 1, seen, false);
    } else {
      progress.SetStatus((d.*ops.name)(c));
      (d.*ops.deleteItem)(c);
    }
  }
  if (!keepFolder) (d.*ops.deleteFolder)(folder);
}

void Walk(const TreeOps& ops, const KernelId& folder, CDeleteDialog& progress, bool keepFolder) {
  std::set<IdKey> seen;
  DeleteTree(ops, folder, progress, 0, seen, keepFolder);
}

}  // namespace

void NotifyFolderRemoved(LPCITEMIDLIST folder, const CPidlLast& item) {
  // The folder's absolute list and the item: the path the host shows.
  ShellMalloc malloc;
  OwnedIdList joined(ConcatIdLists(malloc, folder, item.Pointer()));
  if (joined) SHChangeNotify(SHCNE_RMDIR, SHCNF_IDLIST | SHCNF_FLUSH, joined.get(), nullptr);
}

void RefreshTreeFolders() {
  for (TopLevelFolder which : {TopLevelFolder::Playlists, TopLevelFolder::DataFiles, TopLevelFolder::Albums,
                               TopLevelFolder::Artists, TopLevelFolder::Genres}) {
    try {
      OwnedIdList list = CopyTopLevelFolderList(which);
      if (!list) continue;  // that folder was never listed
      SHChangeNotify(SHCNE_RMDIR, SHCNF_FLUSH, list.get(), nullptr);
      SHChangeNotify(SHCNE_MKDIR, SHCNF_FLUSH, list.get(), nullptr);
    } catch (const CPidlException&) {
    }
  }
}

void DeleteDataFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder) {
  Walk({&KernelDevice::GetFirstDataChild, &KernelDevice::GetNextDataChild, &KernelDevice::IsDataFolder,
        &KernelDevice::GetDataItemName, &KernelDevice::DeleteDataItem, &KernelDevice::DataItemOp7120},
       folder, progress, keepFolder);
}

void DeleteNotesFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder) {
  Walk({&KernelDevice::GetFirstNoteChild, &KernelDevice::GetNextNoteChild, &KernelDevice::GetNoteItemKind,
        &KernelDevice::GetNoteItemName, &KernelDevice::DeleteNote, &KernelDevice::DeleteNoteFolder},
       folder, progress, keepFolder);
}

void DeleteContactsFolderTree(const KernelId& folder, CDeleteDialog& progress, bool keepFolder) {
  Walk({&KernelDevice::GetFirstContactChild, &KernelDevice::GetNextContactChild, &KernelDevice::GetContactItemKind,
        &KernelDevice::GetContactItemName, &KernelDevice::DeleteContact, &KernelDevice::DeleteContactFolder},
       folder, progress, keepFolder);
}

}  // namespace hub
