// CContextMenu: the menu of a selection. This build makes the folderless menu
// the shell-extension path asks for; it adds no commands (the folder's menus
// come with the menu commands).
#pragma once

#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_access.h"

namespace hub {

class CShellFolder;

class CContextMenu final : public platform::IContextMenu, public platform::IShellExtInit {
 public:
  // Folder, item count and items; null, 0, null for the shell-extension menu.
  CContextMenu(CShellFolder* folder, uint32_t count, LPCITEMIDLIST* items);

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  platform::HRESULT QueryContextMenu(platform::ShellMenu menu, uint32_t indexMenu, uint32_t idCmdFirst,
                                     uint32_t idCmdLast, uint32_t flags) override;
  platform::HRESULT InvokeCommand(const platform::CMINVOKECOMMANDINFO* info) override;
  platform::HRESULT GetCommandString(uintptr_t command, uint32_t type, uint32_t* reserved, char* name,
                                     uint32_t capacity) override;

  platform::HRESULT Initialize(LPCITEMIDLIST folder, platform::IDataObject* data, const char* programKey) override;

 private:
  ~CContextMenu() = default;

  LiveObject live_;
  platform::RefCount refs_{1};
  CShellFolder* folder_;
};

}  // namespace hub
