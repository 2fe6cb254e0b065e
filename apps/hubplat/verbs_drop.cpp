// The drop verb of hubplat: drops the computer's files on a window of another
// process, as a desktop file manager's drag would.
#include <cstdio>
#include <filesystem>
#include <string>

#include "verbs.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"

namespace hub::hubplat {
namespace {

using namespace hub::platform;
namespace fs = std::filesystem;

int Drop(const Args& args) {
  if (args.size() < 2) return 2;
  uint32_t window = FindWindowArg(args[0]);
  if (window == 0) return Fail("no window of class or handle '" + args[0] + "'");
  std::vector<std::string> paths;
  for (size_t i = 1; i < args.size(); ++i) {
    std::error_code ec;
    fs::path full = fs::absolute(args[i], ec);
    if (ec || !fs::exists(full, ec)) return Fail("no such file: " + args[i]);
    paths.push_back(full.lexically_normal().string());
  }
  ComPtr<IDataObject> data(CreateStoredDataObject({StoredFormat{CF_HDROP, BuildDropFiles(paths)}}));
  ComPtr<IDropSource> source(CreateSimpleDropSource());
  if (!data || !source) return Fail("out of memory");
  ui::TheUiDriver().PushDragSteps({ui::DragStep::Over(window), ui::DragStep::Release()});
  uint32_t effect = DROPEFFECT_NONE;
  HRESULT hr = DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
  if (hr != DRAGDROP_S_DROP || effect == DROPEFFECT_NONE) {
    std::printf("the window took nothing\n");
    return 1;
  }
  std::printf("dropped %zu file%s: %s\n", paths.size(), paths.size() == 1 ? "" : "s",
              effect & DROPEFFECT_LINK ? "link" : effect & DROPEFFECT_MOVE ? "move" : "copy");
  return 0;
}

const VerbRegistration kDrop{{"drop", "<class | 0xhandle> <paths...>",
                              "drops files on a window of another process, as a file manager's drag does", Drop}};

}  // namespace
}  // namespace hub::hubplat
