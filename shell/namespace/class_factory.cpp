// Class object and factory.
#include "shell/namespace/class_factory.h"

#include <new>

#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/context_menu.h"
#include "shell/namespace/module_names.h"
#include "shell/namespace/shell_folder.h"

namespace hub {

using namespace hub::platform;

HRESULT KestroClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t KestroClassFactory::AddRef() { return refs_.Increment(); }

uint32_t KestroClassFactory::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT KestroClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IUnknown* created = nullptr;
  try {
    // A menu asked for as such is made as for shell-extension initialisation.
    if (iid == IID_IShellExtInit || iid == IID_IContextMenu) {
      created = static_cast<IContextMenu*>(new (std::nothrow) CContextMenu(nullptr, 0, nullptr));
    } else {
      created = static_cast<IShellFolder*>(new (std::nothrow) CShellFolder(nullptr, nullptr));
    }
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  if (!created) return E_OUTOFMEMORY;
  HRESULT hr = created->QueryInterface(iid, out);
  created->Release();  // a refused interface destroys the object
  return hr;
}

HRESULT KestroClassFactory::LockServer(bool) { return E_NOTIMPL; }

HRESULT GetModuleClassObject(std::string_view moduleName, REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto mine = ModuleClassId(moduleName);
  if (!mine || *mine != clsid) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) KestroClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

HRESULT CanUnloadModule() { return LiveObjectCount() > 0 ? S_FALSE : S_OK; }

}  // namespace hub
