// The library's class object: DllGetClassObject answers for the one class id
// of the module's name, and its factory makes the folder or, for the
// shell-extension and menu interfaces, a context menu.
#pragma once

#include <string_view>

#include "platform/com/com.h"
#include "shell/namespace/live_objects.h"

namespace hub {

class KestroClassFactory final : public platform::IClassFactory {
 public:
  KestroClassFactory() = default;

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  platform::HRESULT CreateInstance(platform::IUnknown* outer, platform::REFIID iid, void** out) override;
  platform::HRESULT LockServer(bool lock) override;

 private:
  ~KestroClassFactory() = default;

  LiveObject live_;
  platform::RefCount refs_{1};
};

// DllGetClassObject for a module of this name.
platform::HRESULT GetModuleClassObject(std::string_view moduleName, platform::REFCLSID clsid, platform::REFIID iid,
                                       void** out);
// DllCanUnloadNow: S_FALSE while any object of the library lives.
platform::HRESULT CanUnloadModule();

}  // namespace hub
