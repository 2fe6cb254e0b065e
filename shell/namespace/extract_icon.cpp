// The icon rules of the items.
#include "shell/namespace/extract_icon.h"

#include <algorithm>
#include <cstring>

#include "common/product_profile.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/the_client.h"

namespace hub {

using namespace hub::platform;

namespace {

constexpr int kLockedImage = 18;
constexpr uint32_t kNoItemKind = 0xFFFF;
constexpr uint32_t kKindUnnamedNotice = 0x2009;

// Kinds whose icon comes from the item's own file type.
bool FileTypeKind(uint32_t kind) {
  return kind == ItemTrack || kind == ItemDataFile || kind == ItemPlaylistEntry || kind == ItemQueueEntry ||
         kind == ItemTrackWithPlaylists;
}

// The extension as _splitpath gives it: from the last dot of the last path
// element, dot included; empty when there is none.
std::string Extension(std::string_view name) {
  size_t slash = name.find_last_of("\\/");
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  size_t dot = base.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(base.substr(dot));
}

int DataFolderImage(const PidlItem& item) {
  try {
    KernelId root;
    TheClient().GetDataRoot(root);
    return item.Key(0) == root.key[0] ? 10 : 23;
  } catch (const std::exception&) {
    return 31;
  }
}

// The fixed image of a kind; nothing for the kinds the file-type rule serves.
std::optional<int> FixedImage(const PidlItem& item) {
  const uint32_t key = item.Key(0);
  switch (item.Kind()) {
    // A device-given key would reach past the 36 images: every segment shows image 6.
    case FolderSegment: return 6;
    case FolderFmTuner:
    case ItemFmPreset: return 8;
    case FolderTrackList:
      if (key == 3) return 11;
      if (key == 4) return 12;
      if (key >= 5 && key <= 7) return static_cast<int>(key) + 9;
      return 9;
    case FolderCategory:
      if (key == 5) return 14;
      return static_cast<int>(key) + 12;
    case FolderPlaylist: return 17;
    case FolderDeviceInfo:
    case ItemInfoLine: return 22;
    case FolderData: return DataFolderImage(item);
    case FolderNotes:
    case ItemNote: return 32;
    case FolderContacts:
    case ItemContact: return 31;
    case FolderUtilities:
    case ItemUtility: return 35;
    case ItemMessageHead: return key == 1028 ? 18 : 25;
    case ItemNotice:
    case kKindUnnamedNotice: return 20;
    case ItemLink: return 24;
    case ItemCommandLink:
      switch (key) {
        case 2055:
        case 2056: return 11;
        case 2071:
        case 2072: return 13;
        case 2081:
        case 2082: return 30;
        case 2083: return 31;
        case 2084: return 32;
        case 3011: return 10;
        case 2099: return 26;
        default: return 24;
      }
    default: return std::nullopt;
  }
}

bool TagSearch() {
  try {
    return TheClient().SupportsTagSearch() != 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string ItemIconKey(const PidlItem& item, std::string* fileName) {
  std::string name(item.Name());
  if (item.Class() == kPidlClassTrack && TagSearch()) {
    // The track's type decides even when its name has no extension.
    name = "a." + std::string(GetExtensionForFileType(item.Track().fileType));
  }
  std::string key = Extension(name);
  if (item.Kind() == ItemPlaylistEntry) key += "lnk";
  if (fileName) *fileName = std::move(name);
  return key;
}

CExtractIcon::CExtractIcon(LPCITEMIDLIST ids, ItemIcons& icons) : icons_(icons) {
  try {
    ids_.reset(CopyIdList(malloc_, ids));
  } catch (const CPidlException&) {
    // An unreadable list is kept as none: every method then answers S_FALSE.
  }
}

CExtractIcon::~CExtractIcon() = default;

HRESULT CExtractIcon::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IExtractIconA) {
    *out = static_cast<IExtractIconA*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t CExtractIcon::AddRef() { return refs_.Increment(); }

uint32_t CExtractIcon::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT CExtractIcon::GetIconLocation(uint32_t, char* iconFile, uint32_t capacity, int32_t* index,
                                      uint32_t* outFlags) {
  try {
    if (outFlags) *outFlags |= GIL_NOTFILENAME;
    if (iconFile && capacity > 0) {
      // Cut to the buffer and always terminated.
      const std::string& path = TheProductProfile().moduleInstance.path;
      size_t n = std::min<size_t>(path.size(), capacity - 1);
      std::memcpy(iconFile, path.data(), n);
      iconFile[n] = '\0';
    }
    if (!ids_) return S_FALSE;
    const uint8_t* last = IdListBytes(GetLastItem(ids_.get()));
    if (last && ItemByteCount(last) >= pidl_offset::kKind + 4 &&
        ReadLittleEndian32(last + pidl_offset::kKind) == kNoItemKind)
      return S_FALSE;
    CPidlLast item = CPidlLast::FromList(ids_.get());
    const PidlItem& it = item.Item();
    if (it.Kind() == ItemMessageLine) return S_OK;
    int chosen = 0;
    if (auto fixed = FixedImage(it)) {
      chosen = *fixed;
    } else {
      _AUDIODATA track = it.Track();
      if (track.locked) {
        chosen = kLockedImage;
      } else if (track.fileType == kFileTypeM4a) {
        chosen = 27;
      } else if (track.fileType == kFileTypeM4p) {
        chosen = 28;
      } else if (track.fileType == kFileTypeM4b) {
        chosen = 29;
      } else {
        std::string name;
        std::string key = ItemIconKey(it, &name);
        chosen = icons_.IndexFor(key, name, it.Kind() == ItemPlaylistEntry);
        if (outFlags) *outFlags |= GIL_SIMULATEDOC;
      }
    }
    if (index) *index = chosen;
    return S_OK;
  } catch (const std::exception&) {
    // CPidlException above all; nothing may leave a COM method.
    return S_FALSE;
  }
}

HRESULT CExtractIcon::Extract(const char*, uint32_t index, ShellIcon* large, ShellIcon* small, uint32_t) {
  try {
    if (!ids_) return S_FALSE;
    CPidlLast item = CPidlLast::FromList(ids_.get());
    const PidlItem& it = item.Item();
    if (it.Kind() == ItemMessageLine) return S_OK;
    int image = static_cast<int>(index);
    if (FileTypeKind(it.Kind())) {
      if (it.Track().locked) {
        image = kLockedImage;
      } else if (auto cached = icons_.Cached(ItemIconKey(it))) {
        image = *cached;
      }
      // Not cached (an m4a, m4p or m4b track): the image GetIconLocation chose.
    }
    if (large) *large = icons_.Icon(true, image);
    if (small) *small = icons_.Icon(false, image);
    return S_OK;
  } catch (const std::exception&) {
    return S_FALSE;
  }
}

}  // namespace hub
