// CShellFolder: the object through which the host sees the device namespace.
// It keeps the folder's absolute and relative id lists, lists its content
// through CEnumIDList, orders, names and describes its items, and binds the
// folders below it. The folder keeps no lock: listings take the listing lock.
#pragma once

#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CEnumIDList;

class CShellFolder final : public platform::IShellFolder, public platform::IPersistFolder {
 public:
  // `relative`: the list the parent's BindToObject was given (copied); null for the root.
  CShellFolder(CShellFolder* parent, LPCITEMIDLIST relative);

  // IUnknown
  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // IShellFolder
  platform::HRESULT ParseDisplayName(platform::ShellWindow owner, void* bindContext, const char16_t* name,
                                     uint32_t* eaten, LPITEMIDLIST* out, uint32_t* attributes) override;
  platform::HRESULT EnumObjects(platform::ShellWindow owner, uint32_t flags, platform::IEnumIDList** out) override;
  platform::HRESULT BindToObject(LPCITEMIDLIST ids, void* bindContext, platform::REFIID iid, void** out) override;
  platform::HRESULT BindToStorage(LPCITEMIDLIST ids, void* bindContext, platform::REFIID iid, void** out) override;
  platform::HRESULT CompareIDs(int64_t param, LPCITEMIDLIST first, LPCITEMIDLIST second) override;
  platform::HRESULT CreateViewObject(platform::ShellWindow owner, platform::REFIID iid, void** out) override;
  platform::HRESULT GetAttributesOf(uint32_t count, LPCITEMIDLIST* items, uint32_t* inOut) override;
  platform::HRESULT GetUIObjectOf(platform::ShellWindow owner, uint32_t count, LPCITEMIDLIST* items,
                                  platform::REFIID iid, uint32_t* reserved, void** out) override;
  platform::HRESULT GetDisplayNameOf(LPCITEMIDLIST ids, uint32_t flags, platform::STRRET* out) override;
  platform::HRESULT SetNameOf(platform::ShellWindow owner, LPCITEMIDLIST ids, const char16_t* name, uint32_t flags,
                              LPITEMIDLIST* out) override;

  // IPersistFolder
  platform::HRESULT GetClassID(platform::CLSID* out) override;
  platform::HRESULT Initialize(LPCITEMIDLIST absolute) override;

  // The enumerator EnumObjects hands out, typed for the view, which takes its records.
  platform::ComPtr<CEnumIDList> ListContent(uint32_t flags);

  LPCITEMIDLIST AbsoluteIds() const { return absolute_.get(); }
  LPCITEMIDLIST RelativeIds() const { return relative_.get(); }
  CShellFolder* Parent() const { return parent_; }

 private:
  ~CShellFolder() = default;

  LiveObject live_;
  ShellMalloc malloc_;
  OwnedIdList absolute_;
  OwnedIdList relative_;
  platform::RefCount refs_{1};
  CShellFolder* parent_;  // not counted: a child never outlives the host's hold on its parent
};

}  // namespace hub
