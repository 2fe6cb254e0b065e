// CDataObject: the namespace's selection as "Kernel ID List" and, once staged,
// as the file list of copies on the computer.
#include "shell/namespace/data_object.h"

#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>

#include "common/folders.h"
#include "common/shell_routines.h"
#include "common/sortable_id_array.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/kernel_id_list.h"
#include "shell/namespace/selection_commands.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"

namespace hub {

using namespace hub::platform;

namespace {

std::mutex g_nameMutex;
std::string g_lastDraggedName;

FORMATETC Format(uint16_t number) { return FORMATETC{number, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace

uint16_t KernelIdListFormat() { return RegisterClipboardFormatName(kKernelIdListFormatName); }
uint16_t NoTransferToSelfFormat() { return RegisterClipboardFormatName(kNoTransferToSelfFormatName); }

std::string TakeLastDraggedName() {
  std::lock_guard lock(g_nameMutex);
  return std::exchange(g_lastDraggedName, std::string());
}
void SetLastDraggedName(std::string name) {
  std::lock_guard lock(g_nameMutex);
  g_lastDraggedName = std::move(name);
}

CDataObject::CDataObject(CShellFolder* folder, uint32_t count, LPCITEMIDLIST* items) : folder_(folder) {
  if (folder_) folder_->AddRef();
  bool playlists = false;
  try {
    playlists = TheClient().SupportsPlaylists() != 0;
  } catch (const std::exception&) {
    playlists = false;  // without an answer the ids are not offered
  }
  formatCount_ = playlists ? 3 : 2;
  formats_[0] = Format(NoTransferToSelfFormat());
  formats_[1] = Format(CF_HDROP);
  formats_[2] = Format(KernelIdListFormat());
  for (uint32_t i = 0; items && i < count; ++i) {
    LPITEMIDLIST joined = ConcatIdLists(malloc_, folder_ ? folder_->AbsoluteIds() : nullptr, items[i]);
    if (joined) items_.emplace_back(joined);
  }
  if (!items_.empty()) {
    try {
      SetLastDraggedName(CPidlLast::FromList(items_.front().get()).GetName());
    } catch (const CPidlException&) {
      SetLastDraggedName({});
    }
  }
}

CDataObject::~CDataObject() {
  if (folder_) folder_->Release();
}

HRESULT CDataObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDataObject) {
    *out = static_cast<IDataObject*>(this);
  } else if (iid == IID_IEnumFORMATETC) {
    *out = static_cast<IEnumFORMATETC*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CDataObject::AddRef() { return refs_.Increment(); }

uint32_t CDataObject::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

CPidlList CDataObject::Selection() const {
  CPidlList list;
  for (const auto& item : items_) list.Add(CPidlLast::FromList(item.get()));
  return list;
}

std::vector<KernelId> CDataObject::DraggedIds() const {
  CPidlList selection = Selection();
  std::vector<KernelId> ids;
  if (selection.GetSize() == 0) return ids;
  uint32_t first = selection[0].Item().Kind();
  if (first == ItemDataFile || first == FolderData) {
    for (const auto& item : selection) ids.push_back(item.Item().Id());
    return ids;
  }
  SortableKernelIdArray tracks(&TheClient());
  GetSelectionCommands().CollectSelectionTrackIds(selection, tracks);
  ids.assign(tracks.begin(), tracks.end());
  return ids;
}

HRESULT CDataObject::GetData(const FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  medium->pUnkForRelease = nullptr;
  if (format->cfFormat == KernelIdListFormat() && (format->tymed & TYMED_HGLOBAL)) {
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = nullptr;
    try {
      KernelDevice& d = TheClient();
      if (d.SupportsPlaylists() == 0 && d.SupportsTagSearch() == 0) return DV_E_FORMATETC;
      std::string name;
      if (!items_.empty()) name = CPidlLast::FromList(items_.front().get()).GetName();
      HGLOBAL block = MakeKernelIdListBlock(DraggedIds(), name);
      if (!block) {
        medium->tymed = TYMED_NULL;
        return E_OUTOFMEMORY;
      }
      medium->hGlobal = block;
      return S_OK;
    } catch (const CPidlException&) {
      medium->tymed = TYMED_NULL;
      return DV_E_FORMATETC;
    } catch (const std::exception& e) {
      ReportClientException("Could not enumerate Audio ids.", e);
      medium->tymed = TYMED_NULL;
      return E_FAIL;
    }
  }
  if (format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL)) {
    std::vector<std::string> files;
    {
      std::lock_guard lock(filesMutex_);
      if (!filesReady_ || files_.empty()) {
        *medium = STGMEDIUM{};
        return DV_E_FORMATETC;
      }
      files = files_;
    }
    HGLOBAL block = MakeDropFilesBlock(files);
    if (!block) {
      *medium = STGMEDIUM{};
      return E_OUTOFMEMORY;
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  return DV_E_FORMATETC;
}

HRESULT CDataObject::GetDataHere(const FORMATETC* format, STGMEDIUM*) { return format ? E_NOTIMPL : E_INVALIDARG; }

HRESULT CDataObject::QueryGetData(const FORMATETC* format) {
  if (!format) return S_FALSE;
  if (!(format->dwAspect & DVASPECT_CONTENT)) return DV_E_DVASPECT;
  if (formatCount_ == 0) return DV_E_FORMATETC;
  for (uint32_t i = 0; i < formatCount_; ++i)
    if (formats_[i].cfFormat == format->cfFormat && (formats_[i].tymed & format->tymed)) return S_OK;
  return DV_E_FORMATETC;
}

HRESULT CDataObject::GetCanonicalFormatEtc(const FORMATETC*, FORMATETC* out) {
  if (!out) return E_INVALIDARG;
  out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT CDataObject::SetData(const FORMATETC*, STGMEDIUM*, bool) { return E_NOTIMPL; }

HRESULT CDataObject::EnumFormatEtc(uint32_t direction, IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (direction != DATADIR_GET) return OLE_S_USEREG;
  // A fresh enumerator at the first format, so every look sees them all.
  *out = CreateFormatEnumerator(std::vector<FORMATETC>(formats_, formats_ + formatCount_), 0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CDataObject::DAdvise(const FORMATETC*, uint32_t, IUnknown*, uint32_t*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT CDataObject::DUnadvise(uint32_t) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT CDataObject::EnumDAdvise(IUnknown**) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT CDataObject::Next(uint32_t count, FORMATETC* out, uint32_t* fetched) {
  if (!out) return E_INVALIDARG;
  uint32_t copied = 0;
  while (copied < count && position_ < formatCount_) out[copied++] = formats_[position_++];
  if (fetched) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

HRESULT CDataObject::Skip(uint32_t count) {
  if (count > formatCount_ - position_) {
    position_ = formatCount_;
    return S_FALSE;
  }
  position_ += count;
  return S_OK;
}

HRESULT CDataObject::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT CDataObject::Clone(IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  *out = CreateFormatEnumerator(std::vector<FORMATETC>(formats_, formats_ + formatCount_), position_);
  return *out ? S_OK : E_OUTOFMEMORY;
}

void CDataObject::PrepareDropFiles() {
  {
    std::lock_guard lock(filesMutex_);
    files_.clear();
    filesReady_ = false;
  }
  if (items_.empty() || !folder_ || !folder_->AbsoluteIds()) {
    ShowMessage("Did not find any files to transfer to PC.", ui::kMbIconInformation);
    return;
  }
  {
    std::lock_guard lock(filesMutex_);
    fileDropAsked_ = true;
    if (items_.size() > kMaxDragOutItems) {
      tooManyFiles_ = true;
      return;
    }
  }
  std::vector<std::string> copies;
  try {
    CPidlList selection = Selection();
    std::string target = MakeCleanTempFolder("tx2pc");
    if (target.empty()) return;
    const auto& stage = GetTransferServices().StageTransferToPc;
    if (stage) stage(folder_->AbsoluteIds(), selection, target, copies);
  } catch (const CPidlException&) {
    copies.clear();
  } catch (const std::exception& e) {
    ReportClientException("", e);
    copies.clear();
  }
  // Tracks that share a folder name it once each: a second entry would make
  // the target copy the folder again (as "Artist (2)").
  std::vector<std::string> unique;
  std::unordered_set<std::string> seen;
  for (std::string& path : copies)
    if (seen.insert(path).second) unique.push_back(std::move(path));
  std::lock_guard lock(filesMutex_);
  files_ = std::move(unique);
  filesReady_ = !files_.empty();
}

bool CDataObject::FilesReady() const {
  std::lock_guard lock(filesMutex_);
  return filesReady_;
}

bool CDataObject::TooManyFiles() const {
  std::lock_guard lock(filesMutex_);
  return tooManyFiles_;
}

bool CDataObject::FileDropAsked() const {
  std::lock_guard lock(filesMutex_);
  return fileDropAsked_;
}

}  // namespace hub
