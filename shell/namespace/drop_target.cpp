// CDropSource, CDropTarget and the drop routines of the namespace.
#include "shell/namespace/drop_target.h"

#include <cstdio>

#include "common/explorer_refresh.h"
#include "common/shell_routines.h"
#include "common/sortable_id_array.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/command_support.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/kernel_id_list.h"
#include "shell/namespace/selection_commands.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"

namespace hub {

using namespace hub::platform;

namespace {

std::atomic<bool> g_overOwnNamespace{false};

constexpr const char* kNotADropTarget = "This folder is not a valid drop target";
constexpr const char* kInvalid = "The drop object is invalid.";
constexpr const char* kDropOnSegment = "Please drop directly to either Internal Memory or the SmartMedia card.";

using commands::Inform;
const char* Plural(size_t n) { return n == 1 ? "" : "s"; }

template <class... A>
std::string Format(const char* pattern, A... args) {
  int n = std::snprintf(nullptr, 0, pattern, args...);
  std::string out(n > 0 ? n : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, pattern, args...);
  return out;
}

// Targets that take the namespace's own ids.
bool TakesIds(const PidlItem& t) {
  switch (t.Kind()) {
    case FolderPlaylist:
    case FolderData: return true;
    case FolderTrackList: return t.SubKind() != kTrackListAll && t.SubKind() != 2;
    case FolderCategory: return t.SubKind() == 1 || t.SubKind() == 5;
    default: return false;
  }
}

// Targets that take the computer's files.
bool TakesFiles(uint32_t kind) {
  return kind == FolderSegment || kind == FolderTrackList || kind == FolderCategory || kind == FolderData;
}

int QueueDroppedTracks(const std::vector<KernelId>& ids) {
  try {
    for (const KernelId& id : ids) TheClient().EnqueueTrack(id);
    Inform(Format("%d track%s queued.", static_cast<int>(ids.size()), Plural(ids.size())));
    RefreshExplorerAfterConnect();
    return 1;
  } catch (const std::exception& e) {
    ReportClientException("Could not queue track(s).", e);
    return 0;
  }
}

int SetTagFieldOnDrop(const std::vector<KernelId>& ids, const PidlItem& target) {
  const char* field = nullptr;
  KernelTextField _AUDIODATA::*member = nullptr;
  switch (target.SubKind()) {
    case 5: field = "artist", member = &_AUDIODATA::artist; break;
    case 6: field = "album", member = &_AUDIODATA::album; break;
    case 7: field = "genre", member = &_AUDIODATA::genre; break;
    default: Inform(std::string(kNotADropTarget) + "."); return 0;
  }
  // "[ All: X ]" lists an artist's tracks: its text is the artist, its name is not.
  std::string value(target.SubKind() == 5 && !target.Text().empty() ? target.Text() : target.Name());
  std::string question = Format("This will change the %s to '%s' on %d track%s.  Are you sure?", field, value.c_str(),
                                static_cast<int>(ids.size()), Plural(ids.size()));
  if (ShowMessage(question, ui::kMbYesNo | ui::kMbIconQuestion) != ui::kIdYes) return 0;
  try {
    KernelDevice& d = TheClient();
    for (const KernelId& id : ids) {
      _AUDIODATA record{};
      d.GetTrackInfo(id, record);
      (record.*member).Set(value);
      d.SetTrackInfo(id, record);
    }
  } catch (const std::exception& e) {
    ReportClientException("Could not change tag fields.", e);
    return 0;
  }
  Inform(Format("Changed %s to '%s' on %d track%s.", field, value.c_str(), static_cast<int>(ids.size()),
                Plural(ids.size())));
  RefreshExplorerAfterConnect();
  return 1;
}

int CreatePlaylistFromDrop(const std::vector<KernelId>& ids, const std::string& payloadName) {
  // The source's name travels with the ids; the one kept in this process is
  // for sources that wrote none.
  std::string kept = TakeLastDraggedName();
  std::string name = payloadName.empty() ? kept : payloadName;
  int result = GetSelectionCommands().CreatePlaylist(false, name, ids, true);
  if (result < 0) {
    Inform("Could not create playlist using drop items.");
    return 0;
  }
  Inform(Format("Playlist '%s' created with %d track%s.", name.c_str(), result, Plural(result)));
  return 1;
}

}  // namespace

void SetDragOverOwnNamespace(bool over) { g_overOwnNamespace.store(over); }
bool DragOverOwnNamespace() { return g_overOwnNamespace.load(); }

uint32_t DropEffectFor(bool accept, uint32_t keyState, uint32_t allowed) {
  if (!accept) return DROPEFFECT_NONE;
  if ((keyState & MK_MBUTTON) && (allowed & DROPEFFECT_LINK)) return DROPEFFECT_LINK;
  return allowed & DROPEFFECT_COPY ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

// --- CDropSource

CDropSource::CDropSource(CDataObject* data) : data_(data) {
  if (data_) data_->AddRef();
}

CDropSource::~CDropSource() {
  if (data_) data_->Release();
}

HRESULT CDropSource::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDropSource) {
    *out = static_cast<IDropSource*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t CDropSource::AddRef() { return refs_.Increment(); }

uint32_t CDropSource::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT CDropSource::QueryContinueDrag(bool escapePressed, uint32_t keyState) {
  if (escapePressed) return DRAGDROP_S_CANCEL;
  if (keyState & MK_LBUTTON) return S_OK;
  if (!data_) return DRAGDROP_S_DROP;
  if (lastEffect_ == DROPEFFECT_NONE) return DRAGDROP_S_CANCEL;
  if (!DragOverOwnNamespace()) data_->PrepareDropFiles();
  return DRAGDROP_S_DROP;
}

HRESULT CDropSource::GiveFeedback(uint32_t effect) {
  lastEffect_ = effect;
  return DRAGDROP_S_USEDEFAULTCURSORS;
}

// --- CDropTarget

CDropTarget::CDropTarget(LPCITEMIDLIST target) : target_(CopyIdList(malloc_, target)) {}

CDropTarget::~CDropTarget() = default;

HRESULT CDropTarget::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDropTarget) {
    *out = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t CDropTarget::AddRef() { return refs_.Increment(); }

uint32_t CDropTarget::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

bool CDropTarget::Accepts(IDataObject* data) {
  if (!data) return false;
  bool self = OffersFormat(data, NoTransferToSelfFormat());
  // The root takes the computer's files (it says so when the player is empty).
  if (!target_ || GetIdListSize(target_.get()) <= 2) return !self && OffersFormat(data, CF_HDROP);
  try {
    PidlItem t = PidlItem::LastOf(target_.get());
    if (TakesIds(t)) {
      SetDragOverOwnNamespace(true);
      if (OffersFormat(data, KernelIdListFormat())) return true;
    }
    // The namespace's own items are never copied into the device as files.
    if (self) return false;
    return TakesFiles(t.Kind()) && OffersFormat(data, CF_HDROP);
  } catch (const CPidlException&) {
    return false;
  }
}

HRESULT CDropTarget::DragEnter(IDataObject* data, uint32_t keyState, ShellPoint, uint32_t* effect) {
  accept_ = false;
  accept_ = Accepts(data);
  if (effect) *effect = DropEffectFor(accept_, keyState, *effect);
  return S_OK;
}

HRESULT CDropTarget::DragOver(uint32_t keyState, ShellPoint, uint32_t* effect) {
  if (effect) *effect = DropEffectFor(accept_, keyState, *effect);
  return S_OK;
}

HRESULT CDropTarget::DragLeave() {
  SetDragOverOwnNamespace(false);
  accept_ = false;
  return S_OK;
}

HRESULT CDropTarget::Drop(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) {
  if (effect) *effect = DROPEFFECT_NONE;
  SetDragOverOwnNamespace(false);
  accept_ = false;
  if (!data) return E_INVALIDARG;
  auto take = [&](uint16_t format, STGMEDIUM& medium) {
    FORMATETC f{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data->GetData(&f, &medium) == S_OK;
  };
  int result = 0;
  try {
    if (!target_ || GetIdListSize(target_.get()) <= 2) {
      if (TheClient().HasMemorySegments()) {
        Inform(kDropOnSegment);
      } else {
        STGMEDIUM m;
        if (take(CF_HDROP, m)) result = DropPcFiles(m, nullptr);
        else Inform(kInvalid);
      }
    } else {
      CPidlLast t = CPidlLast::FromList(target_.get());
      STGMEDIUM m;
      if (OffersFormat(data, KernelIdListFormat())) {
        result = take(KernelIdListFormat(), m) ? DropKernelIds(m, t) : (Inform(kInvalid), 0);
      } else if (TakesFiles(t.Item().Kind()) && OffersFormat(data, CF_HDROP)) {
        result = take(CF_HDROP, m) ? DropPcFiles(m, target_.get()) : (Inform(kInvalid), 0);
      } else {
        Inform(kNotADropTarget);
      }
    }
  } catch (const CPidlException&) {
    Inform(kNotADropTarget);
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("Could not perform drop transfer.", e);
  }
  if (effect) *effect = result ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  return S_OK;
}

// --- The drop routines

int DropKernelIds(STGMEDIUM& medium, const CPidlLast& target) {
  std::optional<KernelIdListPayload> payload;
  {
    GlobalLockScope lock(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
    if (lock.bytes()) payload = ParseKernelIdList(lock.bytes(), lock.size());
  }
  ReleaseStgMedium(&medium);
  if (!payload) {
    Inform(kInvalid);
    return 0;
  }
  if (payload->ids.empty()) {
    Inform("The drop object contained no items.");
    return 0;
  }
  const PidlItem& t = target.Item();
  uint32_t sub = t.SubKind();
  if (t.Kind() == FolderTrackList && sub == kTrackListQueue) return QueueDroppedTracks(payload->ids);
  if ((t.Kind() == FolderTrackList && (sub == kTrackListArtist || sub == kTrackListAlbum || sub == kTrackListGenre)) ||
      (t.Kind() == FolderCategory && sub == 5))
    return SetTagFieldOnDrop(payload->ids, t);
  if (t.Kind() == FolderCategory && sub == 1) return CreatePlaylistFromDrop(payload->ids, payload->draggedName);
  if (t.Kind() == FolderPlaylist) {
    return GetSelectionCommands().AddTracksToPlaylist(t.Id(), payload->ids);
  }
  return 0;
}

int DropPcFiles(STGMEDIUM& medium, LPCITEMIDLIST target) {
  std::optional<std::vector<std::string>> paths;
  {
    GlobalLockScope lock(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
    if (lock.bytes()) paths = ParseDropFiles(lock.bytes(), lock.size());
  }
  ReleaseStgMedium(&medium);
  if (!paths) {
    Inform(kInvalid);
    return 0;
  }
  try {
    const TransferServices& t = GetTransferServices();
    if (!target || GetIdListSize(target) <= 2) {
      if (TheClient().HasMemorySegments()) {
        Inform(kDropOnSegment);
        return 0;
      }
      t.StageTransferToDevice(KernelId(0), *paths);
      return 1;
    }
    PidlItem last = PidlItem::LastOf(target);
    if (last.Kind() == FolderData) t.StageDropToDevice(last.Id(), *paths);
    else t.StageTransferToDevice(last.Id(), *paths);
    return 1;
  } catch (const CPidlException&) {
    Inform(std::string(kNotADropTarget) + ".");
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("Could not perform drop transfer.", e);
  }
  return 0;
}

}  // namespace hub
