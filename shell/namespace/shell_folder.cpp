// The folder object's identity, persistence and id lists.
#include "shell/namespace/shell_folder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <new>
#include <optional>

#include "common/product_profile.h"
#include "common/text.h"
#include "common/track_compare.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/context_menu.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/drop_target.h"
#include "shell/namespace/enum_id_list.h"
#include "shell/namespace/extract_icon.h"
#include "shell/namespace/module_names.h"
#include "shell/namespace/shell_view.h"
#include "shell/namespace/the_client.h"

namespace hub {

using namespace hub::platform;

CShellFolder::CShellFolder(CShellFolder* parent, LPCITEMIDLIST relative) : parent_(parent) {
  if (relative) relative_.reset(CopyIdList(malloc_, relative));
}

HRESULT CShellFolder::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IShellFolder) {
    *out = static_cast<IShellFolder*>(this);
  } else if (iid == IID_IPersistFolder || iid == IID_IPersist) {
    *out = static_cast<IPersistFolder*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CShellFolder::AddRef() { return refs_.Increment(); }

uint32_t CShellFolder::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT CShellFolder::ParseDisplayName(ShellWindow, void*, const char16_t*, uint32_t*, LPITEMIDLIST* out, uint32_t*) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

ComPtr<CEnumIDList> CShellFolder::ListContent(uint32_t flags) {
  return ComPtr<CEnumIDList>(new (std::nothrow) CEnumIDList(this, relative_.get(), flags));
}

HRESULT CShellFolder::EnumObjects(ShellWindow, uint32_t flags, IEnumIDList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  ComPtr<CEnumIDList> list = ListContent(flags);
  if (!list) return E_OUTOFMEMORY;
  *out = list.Detach();
  return S_OK;
}

HRESULT CShellFolder::BindToObject(LPCITEMIDLIST ids, void*, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  CShellFolder* child = new (std::nothrow) CShellFolder(this, ids);
  if (!child) return E_OUTOFMEMORY;
  HRESULT hr = S_OK;
  try {
    OwnedIdList joined(ConcatIdLists(malloc_, absolute_.get(), ids));
    hr = child->Initialize(joined.get());
  } catch (const CPidlException&) {
    hr = E_INVALIDARG;
  }
  if (hr == S_OK) hr = child->QueryInterface(iid, out);
  child->Release();
  return hr;
}

HRESULT CShellFolder::BindToStorage(LPCITEMIDLIST, void*, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

namespace {

bool IsPinnedCommand(const PidlItem& item) {
  static constexpr std::array<uint32_t, 8> kFirst = {2056, 2055, 2072, 2071, 2081, 2082, 2083, 2084};
  return item.Kind() == ItemCommandLink && std::find(kFirst.begin(), kFirst.end(), item.SubKind()) != kFirst.end();
}

bool IsCommand(const PidlItem& item, uint32_t code) { return item.Kind() == ItemCommandLink && item.SubKind() == code; }

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// The order of two items the rules leave tied: position, the four key words,
// then the name and text bytes, so the order stays antisymmetric.
int TieBreak(const PidlItem& a, const PidlItem& b) {
  if (a.Position() != b.Position()) return a.Position() < b.Position() ? -1 : 1;
  for (int w = 0; w < 4; ++w)
    if (a.Key(w) != b.Key(w)) return a.Key(w) < b.Key(w) ? -1 : 1;
  if (int c = a.Name().compare(b.Name())) return Sign(c);
  return Sign(a.Text().compare(b.Text()));
}

int CompareItems(int64_t param, const PidlItem& a, const PidlItem& b) {
  bool aFirst = IsPinnedCommand(a), bFirst = IsPinnedCommand(b);
  if (aFirst != bFirst) return aFirst ? -1 : 1;
  if (!aFirst) {
    static constexpr std::array<std::pair<uint32_t, uint32_t>, 3> kFolderFile = {
        {{FolderData, ItemDataFile}, {FolderNotes, ItemNote}, {FolderContacts, ItemContact}}};
    for (auto [folder, file] : kFolderFile) {
      if (a.Kind() == folder && b.Kind() == file) return -1;
      if (a.Kind() == file && b.Kind() == folder) return 1;
    }
    if (a.Kind() == b.Kind() && (a.Kind() == ItemDataFile || a.Kind() == ItemNote || a.Kind() == ItemContact))
      return Sign(CompareNoCase(a.Name(), b.Name()));
    if (a.Kind() == b.Kind() && (a.Kind() == FolderData || a.Kind() == FolderNotes || a.Kind() == FolderContacts)) {
      if (a.Name() != b.Name()) return Sign(CompareNoCase(a.Name(), b.Name()));
      if (a.Id() == b.Id()) return 0;
      return TieBreak(a, b);
    }
    bool aOpen = IsCommand(a, 2099), bOpen = IsCommand(b, 2099);
    if (aOpen != bOpen) return aOpen ? 1 : -1;
    if (IsTrackKind(a.Kind()) && IsTrackKind(b.Kind()) && (a.Kind() == ItemTrack || a.Kind() == ItemTrackWithPlaylists) &&
        TheClient().SupportsTagSearch()) {
      _AUDIODATA ra{}, rb{};
      KernelDevice& d = TheClient();
      d.GetTrackInfo(a.Id(), ra);
      d.GetTrackInfo(b.Id(), rb);
      int32_t key = static_cast<int32_t>(param);
      std::array<int, 1> keys = {static_cast<int>(static_cast<int16_t>(param & 0xFFFF))};
      std::span<const int> used = key < 99 ? std::span<const int>(keys) : std::span<const int>();
      return Sign(CompareTrackRecords(ra, rb, used));
    }
  }
  if (a.Kind() == b.Kind() && a.Id() == b.Id() && a.Name() == b.Name() && a.Text() == b.Text()) return 0;
  if (a.Kind() == FolderPlaylist && b.Kind() == FolderPlaylist && a.Name() == b.Name()) return 0;
  return TieBreak(a, b);
}

// The order as callers read it: in the code field, sign as a 16-bit value.
HRESULT OrderResult(int order) { return static_cast<HRESULT>(static_cast<uint16_t>(static_cast<int16_t>(order))); }

}  // namespace

HRESULT CShellFolder::CompareIDs(int64_t param, LPCITEMIDLIST first, LPCITEMIDLIST second) {
  std::optional<PidlItem> a, b;
  try {
    a.emplace(PidlItem::LastOf(first));
  } catch (const std::exception&) {
  }
  try {
    b.emplace(PidlItem::LastOf(second));
  } catch (const std::exception&) {
  }
  // An item we cannot read goes after every readable one.
  if (!a || !b) return OrderResult(a ? -1 : b ? 1 : 0);
  try {
    return OrderResult(CompareItems(param, *a, *b));
  } catch (const std::exception&) {
    // A device failure part-way: the order still has to be an order.
    return OrderResult(TieBreak(*a, *b));
  }
}

HRESULT CShellFolder::CreateViewObject(ShellWindow, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (iid == IID_IShellView) {
    CShellView* view = new (std::nothrow) CShellView(this, relative_.get());
    if (!view) return E_OUTOFMEMORY;
    HRESULT hr = view->QueryInterface(iid, out);
    view->Release();
    return hr;
  }
  if (iid == IID_IDropTarget) {
    // The root has no list of its own (its absolute list is the host's junction).
    CDropTarget* target = new (std::nothrow) CDropTarget(relative_ ? absolute_.get() : nullptr);
    if (!target) return E_OUTOFMEMORY;
    HRESULT hr = target->QueryInterface(iid, out);
    target->Release();
    return hr;
  }
  return E_NOTIMPL;
}

HRESULT CShellFolder::GetAttributesOf(uint32_t count, LPCITEMIDLIST* items, uint32_t* inOut) {
  if (!inOut) return E_INVALIDARG;
  if (!items || count == 0 || !items[0]) {
    *inOut = 0xA9000000u;
    return S_OK;
  }
  uint32_t flags = 0x09000000u;
  try {
    PidlItem item = PidlItem::LastOf(items[0]);
    switch (item.Kind()) {
      case FolderSpare: flags |= 0xA0000000u; break;
      case FolderSegment:
      case FolderTrackList:
      case FolderPlaylist: flags |= 0x20000100u; break;
      case FolderFmTuner:
      case FolderDeviceInfo:
      case FolderUtilities: flags |= 0x20000000u; break;
      case FolderCategory:
      case FolderData:
      case FolderNotes:
      case FolderContacts: flags |= 0xA0000100u; break;
      default: flags = 0x01000000u; break;
    }
  } catch (const CPidlException&) {
    flags |= 0xA0000000u;
  }
  *inOut = flags;
  return S_OK;
}

HRESULT CShellFolder::GetUIObjectOf(ShellWindow, uint32_t count, LPCITEMIDLIST* items, REFIID iid, uint32_t*, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (iid == IID_IContextMenu) {
    CContextMenu* menu = new (std::nothrow) CContextMenu(this, count, items);
    if (menu) {
      HRESULT hr = menu->QueryInterface(iid, out);
      menu->Release();
      return hr;
    }
    return E_NOINTERFACE;
  }
  // Icons and drop targets are made from the first item: none given is a bad call.
  if ((iid == IID_IExtractIconA || iid == IID_IDropTarget) && (count == 0 || !items || !items[0])) return E_INVALIDARG;
  if (iid == IID_IExtractIconA) {
    CExtractIcon* icon = new (std::nothrow) CExtractIcon(items[0]);
    if (icon) {
      HRESULT hr = icon->QueryInterface(iid, out);
      icon->Release();
      return hr;
    }
    return E_NOINTERFACE;
  }
  if (iid == IID_IDataObject) {
    CDataObject* data = new (std::nothrow) CDataObject(this, count, items);
    if (!data) return E_OUTOFMEMORY;
    HRESULT hr = data->QueryInterface(iid, out);
    data->Release();
    return hr;
  }
  if (iid == IID_IDropTarget) {
    OwnedIdList target(ConcatIdLists(malloc_, absolute_.get(), items[0]));
    CDropTarget* drop = target ? new (std::nothrow) CDropTarget(target.get()) : nullptr;
    if (!drop) return E_OUTOFMEMORY;
    HRESULT hr = drop->QueryInterface(iid, out);
    drop->Release();
    return hr;
  }
  return E_NOINTERFACE;
}

HRESULT CShellFolder::GetDisplayNameOf(LPCITEMIDLIST ids, uint32_t flags, STRRET* out) {
  if (!out) return E_INVALIDARG;
  std::optional<PidlItem> item;
  try {
    item.emplace(PidlItem::LastOf(ids));
  } catch (const CPidlException&) {
    return E_INVALIDARG;
  }
  uint32_t high = flags & 0xFF00u, low = flags & 0xFFu;
  if ((flags & ~0xFFFFu) != 0 || (high != 0 && high != 0x4000u && high != 0x8000u && high != 0xC000u) || low > 1)
    return E_INVALIDARG;
  std::string name(item->Name());
  if (low == 0) {
    std::string prefix;
    switch (item->Kind()) {
      case FolderTrackList:
        prefix = item->SubKind() == 5 ? "Artists\\" : item->SubKind() == 6 ? "Albums\\" : item->SubKind() == 7 ? "Genres\\" : "";
        break;
      case FolderCategory: prefix = item->SubKind() == 5 ? "Artists\\" : ""; break;
      case FolderPlaylist: prefix = "Playlists\\"; break;
      case FolderData:
        try {
          KernelId root;
          TheClient().GetDataRoot(root);
          KernelId id = item->Id();
          bool keys = std::equal(std::begin(root.key), std::end(root.key), std::begin(id.key));
          bool names = std::strncmp(root.name, id.name, kKernelIdNameSize) == 0;
          if (!keys || !names) prefix = "Data Files\\";
        } catch (const std::exception&) {
          prefix.clear();
        }
        break;
      default: break;
    }
    name = TheProductProfile().explorerName + "\\" + prefix + name;
  }
  char16_t* wide = ShellAllocWideString(name);
  if (!wide) return E_OUTOFMEMORY;
  out->uType = STRRET_WSTR;
  out->pOleStr = wide;
  return S_OK;
}

HRESULT CShellFolder::SetNameOf(ShellWindow, LPCITEMIDLIST, const char16_t*, uint32_t, LPITEMIDLIST* out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::GetClassID(CLSID* out) {
  if (!out) return E_POINTER;
  // The same table DllGetClassObject answers from; a name without a class id has none to give.
  auto id = ModuleClassId(TheProductProfile().moduleName);
  *out = id.value_or(CLSID{});
  return id ? S_OK : E_FAIL;
}

HRESULT CShellFolder::Initialize(LPCITEMIDLIST absolute) {
  try {
    OwnedIdList copy(CopyIdList(malloc_, absolute));
    if (absolute && !copy) return E_OUTOFMEMORY;
    absolute_ = std::move(copy);
    return S_OK;
  } catch (const CPidlException&) {
    return E_INVALIDARG;
  }
}

}  // namespace hub
