// Drag and drop of the namespace: CDropSource drives a drag out of the view,
// CDropTarget takes drops on a folder of the tree. Device ids ("Kernel ID
// List") queue tracks, make or fill playlists or rewrite a tag; the
// computer's files (CF_HDROP) are staged for the send-to launcher.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/shell/drag_drop.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CDataObject;

// Set while a drag is over a place that takes the namespace's own ids; the
// source then stages no copies for the computer.
void SetDragOverOwnNamespace(bool over);
bool DragOverOwnNamespace();

class CDropSource final : public platform::IDropSource {
 public:
  explicit CDropSource(CDataObject* data);  // kept (AddRef'd)

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  platform::HRESULT QueryContinueDrag(bool escapePressed, uint32_t keyState) override;
  platform::HRESULT GiveFeedback(uint32_t effect) override;

 private:
  ~CDropSource();
  LiveObject live_;
  platform::RefCount refs_{1};
  CDataObject* data_;
  uint32_t lastEffect_ = platform::DROPEFFECT_NONE;
};

class CDropTarget final : public platform::IDropTarget {
 public:
  // `target`: the absolute list of the folder dropped on (copied); null for the root.
  explicit CDropTarget(LPCITEMIDLIST target);

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  platform::HRESULT DragEnter(platform::IDataObject* data, uint32_t keyState, platform::ShellPoint point,
                              uint32_t* effect) override;
  platform::HRESULT DragOver(uint32_t keyState, platform::ShellPoint point, uint32_t* effect) override;
  platform::HRESULT DragLeave() override;
  platform::HRESULT Drop(platform::IDataObject* data, uint32_t keyState, platform::ShellPoint point,
                         uint32_t* effect) override;

  // Whether a drag with this data would be taken here (what DragEnter decides).
  bool Accepts(platform::IDataObject* data);

 private:
  ~CDropTarget();
  ShellMalloc malloc_;
  OwnedIdList target_;
  LiveObject live_;
  platform::RefCount refs_{1};
  std::atomic<bool> accept_{false};
};

// The effect of a move over a target that accepts or not: link with the
// middle button when the source allows it, else copy when allowed.
uint32_t DropEffectFor(bool accept, uint32_t keyState, uint32_t allowed);

// The drop routines; each answers non-zero when it did the drop.
int DropKernelIds(platform::STGMEDIUM& medium, const CPidlLast& target);
int DropPcFiles(platform::STGMEDIUM& medium, LPCITEMIDLIST target);

}  // namespace hub
