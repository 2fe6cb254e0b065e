// CDataObject carries a selection of device items out of the namespace: to a
// place of the namespace as a "Kernel ID List", to the computer's files as a
// file list (CF_HDROP) of copies staged when the drop is decided. Its second
// interface enumerates its formats. It is not counted among the live objects.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CShellFolder;

// The registered numbers of the namespace's own formats.
uint16_t KernelIdListFormat();
uint16_t NoTransferToSelfFormat();

// The name of the last item dragged out of the namespace in this process
// (the drop on Playlists names its playlist after it and empties it).
std::string TakeLastDraggedName();
void SetLastDraggedName(std::string name);

// Drops of more items than this are not staged for the computer: "Copy to
// Computer..." is offered instead.
inline constexpr size_t kMaxDragOutItems = 10;

class CDataObject final : public platform::IDataObject, public platform::IEnumFORMATETC {
 public:
  // `items`: the selected children of `folder` (copied as absolute lists).
  CDataObject(CShellFolder* folder, uint32_t count, LPCITEMIDLIST* items);

  // IUnknown (shared by both interfaces)
  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // IDataObject
  platform::HRESULT GetData(const platform::FORMATETC* format, platform::STGMEDIUM* medium) override;
  platform::HRESULT GetDataHere(const platform::FORMATETC* format, platform::STGMEDIUM* medium) override;
  platform::HRESULT QueryGetData(const platform::FORMATETC* format) override;
  platform::HRESULT GetCanonicalFormatEtc(const platform::FORMATETC* in, platform::FORMATETC* out) override;
  platform::HRESULT SetData(const platform::FORMATETC* format, platform::STGMEDIUM* medium, bool release) override;
  platform::HRESULT EnumFormatEtc(uint32_t direction, platform::IEnumFORMATETC** out) override;
  platform::HRESULT DAdvise(const platform::FORMATETC* format, uint32_t flags, platform::IUnknown* sink,
                            uint32_t* connection) override;
  platform::HRESULT DUnadvise(uint32_t connection) override;
  platform::HRESULT EnumDAdvise(platform::IUnknown** out) override;

  // IEnumFORMATETC (the object's own position)
  platform::HRESULT Next(uint32_t count, platform::FORMATETC* out, uint32_t* fetched) override;
  platform::HRESULT Skip(uint32_t count) override;
  platform::HRESULT Reset() override;
  platform::HRESULT Clone(platform::IEnumFORMATETC** out) override;

  // Stages the copies for a drop on the computer (at most kMaxDragOutItems
  // items); the file list is offered only after staging that succeeded.
  void PrepareDropFiles();
  bool FilesReady() const;
  // The drop asked for more items than are staged.
  bool TooManyFiles() const;
  // Whether the copies were staged or asked for in vain (a failed staging or too many items).
  bool FileDropAsked() const;
  size_t ItemCount() const { return items_.size(); }
  const std::vector<OwnedIdList>& Items() const { return items_; }
  CShellFolder* Folder() const { return folder_; }

 private:
  ~CDataObject();
  CPidlList Selection() const;
  std::vector<KernelId> DraggedIds() const;

  platform::RefCount refs_{1};
  uint32_t position_ = 0;
  uint32_t formatCount_ = 2;
  platform::FORMATETC formats_[3];
  CShellFolder* folder_;
  std::vector<OwnedIdList> items_;
  ShellMalloc malloc_;
  mutable std::mutex filesMutex_;
  bool filesReady_ = false;
  bool fileDropAsked_ = false;
  std::vector<std::string> files_;
  bool tooManyFiles_ = false;
};

}  // namespace hub
