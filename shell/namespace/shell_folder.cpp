// The folder object's identity, persistence and id lists.
#include "shell/namespace/shell_folder.h"

#include "common/product_profile.h"
#include "shell/namespace/module_names.h"

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

HRESULT CShellFolder::EnumObjects(ShellWindow, uint32_t, IEnumIDList** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::BindToObject(LPCITEMIDLIST, void*, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::BindToStorage(LPCITEMIDLIST, void*, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::CompareIDs(int64_t, LPCITEMIDLIST, LPCITEMIDLIST) { return E_NOTIMPL; }

HRESULT CShellFolder::CreateViewObject(ShellWindow, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::GetAttributesOf(uint32_t, LPCITEMIDLIST*, uint32_t*) { return E_NOTIMPL; }

HRESULT CShellFolder::GetUIObjectOf(ShellWindow, uint32_t, LPCITEMIDLIST*, REFIID, uint32_t*, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::GetDisplayNameOf(LPCITEMIDLIST, uint32_t, STRRET*) { return E_NOTIMPL; }

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
