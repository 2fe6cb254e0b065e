// CExtractIcon: the icon of one item, answered from the shared item image
// lists: fixed images for folders and special lines, the file type's image
// (fetched once per extension) for tracks and data files.
#pragma once

#include <string>

#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/item_images.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CExtractIcon final : public platform::IExtractIconA {
 public:
  // Keeps a copy of `ids` (its last item is the item); count 1.
  explicit CExtractIcon(LPCITEMIDLIST ids, ItemIcons& icons = TheItemIcons());

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  platform::HRESULT GetIconLocation(uint32_t flags, char* iconFile, uint32_t capacity, int32_t* index,
                                    uint32_t* outFlags) override;
  platform::HRESULT Extract(const char* iconFile, uint32_t index, platform::ShellIcon* large,
                            platform::ShellIcon* small, uint32_t sizes) override;

 private:
  ~CExtractIcon();

  LiveObject live_;
  ShellMalloc malloc_;
  OwnedIdList ids_;
  ItemIcons& icons_;
  platform::RefCount refs_{1};
};

// The cache key of a track, data file or entry: the extension of its name as
// the icon rules form the name (with its dot, in the case found), plus "lnk"
// for a playlist entry. `fileName` receives the name asked about.
std::string ItemIconKey(const PidlItem& item, std::string* fileName = nullptr);

}  // namespace hub
