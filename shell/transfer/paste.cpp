// PasteToDevice: the clipboard's file list handed to StageTransferToDevice.
#include "shell/transfer/paste.h"

#include <string>
#include <vector>

#include "common/shell_routines.h"
#include "platform/shell/clipboard.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/pidl_access.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/send_to.h"

namespace hub {
namespace {

void Inform(std::string_view text) { ShowMessage(text, platform::ui::kMbIconInformation); }

}  // namespace

void PasteToDevice(platform::LPCITEMIDLIST folder) {
  KernelId destination(0);
  try {
    if (TheClient().HasMemorySegments()) {
      bool segment = false;
      try {
        PidlItem last = PidlItem::LastOf(folder);
        segment = last.Kind() == FolderSegment;
        if (segment) destination = last.Id();
      } catch (const CPidlException&) {
        segment = false;
      }
      if (!segment) {
        Inform("Please paste files to either the Internal Memory or SmartMedia Card folders.");
        return;
      }
    }
  } catch (const std::exception& e) {
    ReportClientException("", e);
    return;
  }

  platform::ComPtr<platform::IDataObject> clip;
  if (platform::OleGetClipboard(clip.Put()) != platform::S_OK || !platform::OffersFormat(clip.get(), platform::CF_HDROP)) {
    Inform("There is nothing in the clipboard that can be pasted to your device.");
    return;
  }
  auto bytes = platform::TakeFormatBytes(clip.get(), platform::CF_HDROP);
  auto names = bytes ? platform::ParseDropFiles(bytes->data(), bytes->size()) : std::nullopt;
  if (!names) {
    Inform("Paste object is invalid.");
    return;
  }
  if (names->empty()) {
    Inform("Did not find any files to paste.");
    return;
  }
  StageTransferToDevice(destination, *names);
}

}  // namespace hub
