// The enumerator over a built listing.
#include "shell/namespace/enum_id_list.h"

#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_folder.h"

namespace hub {

using namespace hub::platform;

CEnumIDList::CEnumIDList(CShellFolder* folder, LPCITEMIDLIST relative, uint32_t flags) : folder_(folder), flags_(flags) {
  ListingRequest request;
  request.relative = relative;
  request.absolute = folder ? folder->AbsoluteIds() : nullptr;
  request.flags = flags;
  BuildListing(records_, request, connectTried_);
}

HRESULT CEnumIDList::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IEnumIDList) {
    *out = static_cast<IEnumIDList*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t CEnumIDList::AddRef() { return refs_.Increment(); }

uint32_t CEnumIDList::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT CEnumIDList::Next(uint32_t count, LPITEMIDLIST* out, uint32_t* fetched) {
  if (count > 1 && !fetched) return E_INVALIDARG;
  if (count > 0 && !out) return E_INVALIDARG;
  uint32_t given = 0;
  HRESULT result = S_OK;
  while (given < count && current_ < records_.size()) {
    LPITEMIDLIST copy = CopyIdList(malloc_, records_[current_]);
    // A copy that cannot be made ends the call: a null entry reported as S_OK
    // would be read by the host as an item.
    if (!copy) {
      result = E_OUTOFMEMORY;
      break;
    }
    out[given++] = copy;
    ++current_;
  }
  if (fetched) *fetched = given;
  if (result != S_OK) return result;
  return given == count ? S_OK : S_FALSE;
}

std::vector<LPITEMIDLIST> CEnumIDList::TakeRemaining() {
  std::vector<LPITEMIDLIST> taken = records_.TakeFrom(current_);
  current_ = 0;
  return taken;
}

HRESULT CEnumIDList::Skip(uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (current_ >= records_.size()) return S_FALSE;
    ++current_;
  }
  return S_OK;
}

HRESULT CEnumIDList::Reset() {
  current_ = 0;
  return S_OK;
}

HRESULT CEnumIDList::Clone(IEnumIDList** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

}  // namespace hub
