// The folderless context menu.
#include "shell/namespace/context_menu.h"

namespace hub {

using namespace hub::platform;

CContextMenu::CContextMenu(CShellFolder* folder, uint32_t, LPCITEMIDLIST*) : folder_(folder) {}

HRESULT CContextMenu::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IContextMenu) {
    *out = static_cast<IContextMenu*>(this);
  } else if (iid == IID_IShellExtInit) {
    *out = static_cast<IShellExtInit*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CContextMenu::AddRef() { return refs_.Increment(); }

uint32_t CContextMenu::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

// No commands: success with no ids used.
HRESULT CContextMenu::QueryContextMenu(ShellMenu, uint32_t, uint32_t, uint32_t, uint32_t) { return S_OK; }

HRESULT CContextMenu::InvokeCommand(const CMINVOKECOMMANDINFO*) { return E_INVALIDARG; }

HRESULT CContextMenu::GetCommandString(uintptr_t, uint32_t, uint32_t*, char* name, uint32_t capacity) {
  if (name && capacity) name[0] = 0;
  return E_INVALIDARG;
}

HRESULT CContextMenu::Initialize(LPCITEMIDLIST, IDataObject*, const char*) { return S_OK; }

}  // namespace hub
