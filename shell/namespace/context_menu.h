// CContextMenu: the right-click menu of a selection in the device namespace
// and the command chosen from it. The menu is a resource chosen by the first
// item's kind, copied into the host's menu with entries dropped or rewritten
// by what the device can do; the command goes to the item and playlist
// routines. One object serves one menu: the playlists of its submenu are kept
// in the object, whole, so another menu cannot change what an entry adds to.
// Used on the host's user-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"
#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/menu.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CShellFolder;

class CContextMenu final : public platform::IContextMenu, public platform::IShellExtInit {
 public:
  // Folder, item count and items (copied); null, 0, null for the shell-extension menu.
  CContextMenu(CShellFolder* folder, uint32_t count, LPCITEMIDLIST* items);

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // Fills `menu` (a platform::ui::Menu) at `indexMenu`; answers the number of
  // top-level entries inserted. A device failure is reported once and keeps
  // what was inserted.
  platform::HRESULT QueryContextMenu(platform::ShellMenu menu, uint32_t indexMenu, uint32_t idCmdFirst,
                                     uint32_t idCmdLast, uint32_t flags) override;
  // The verb is a command offset, or the text "delete" or "properties".
  // Unknown commands and verbs answer E_INVALIDARG; a known command S_OK,
  // whatever it did (it reports its own failures).
  platform::HRESULT InvokeCommand(const platform::CMINVOKECOMMANDINFO* info) override;
  platform::HRESULT GetCommandString(uintptr_t command, uint32_t type, uint32_t* reserved, char* name,
                                     uint32_t capacity) override;

  platform::HRESULT Initialize(LPCITEMIDLIST folder, platform::IDataObject* data, const char* programKey) override;

 private:
  ~CContextMenu();
  int Fill(platform::ui::Menu& host, uint32_t index, uint32_t first);
  platform::ui::Menu PlaylistSubmenu(uint32_t first);
  platform::HRESULT Dispatch(uint32_t command, platform::ShellWindow owner);
  void AddToMappedPlaylist(uint32_t command, const CPidlList& selection);

  LiveObject live_;
  platform::RefCount refs_{1};
  CShellFolder* folder_;
  ShellMalloc malloc_;
  std::vector<LPITEMIDLIST> items_;
  // Submenu index -> the playlist it stands for, from this object's last menu.
  struct MappedPlaylist {
    KernelId id;
    std::string name;
  };
  std::vector<MappedPlaylist> playlistMap_;
};

}  // namespace hub
