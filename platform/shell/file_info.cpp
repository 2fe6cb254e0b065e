// File-type icons from the shared-mime-info database.
#include "platform/shell/file_info.h"

#include <gio/gio.h>

#include <atomic>

#include "platform/shell/image_list.h"

namespace hub::platform {
namespace {

std::atomic<uint64_t> g_lookups{0};

}  // namespace

bool SHGetFileInfo(std::string_view name, uint32_t, SHFILEINFO& info, uint32_t flags) {
  g_lookups.fetch_add(1, std::memory_order_relaxed);
  std::string file(name);
  // Without SHGFI_USEFILEATTRIBUTES the shell would read the file; the name
  // decides either way here, since every caller asks for a type, not a file.
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(file.c_str(), nullptr, 0, &uncertain);
  if (!type) return false;
  info.contentType = type;
  std::string image;
  if (gchar* icon = g_content_type_get_generic_icon_name(type)) {
    image = icon;
    g_free(icon);
  }
  g_free(type);
  if (image.empty()) image = "text-x-generic";
  if (flags & SHGFI_LINKOVERLAY) image += " (link)";
  info.hIcon = (flags & SHGFI_ICON) ? CreateShellIcon(image, (flags & SHGFI_SMALLICON) ? 16 : 32) : 0;
  return true;
}

uint64_t FileTypeLookups() { return g_lookups.load(std::memory_order_relaxed); }

}  // namespace hub::platform
