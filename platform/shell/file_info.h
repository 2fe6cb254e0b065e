// The icon of a file's type, as the shell answers for a name: the desktop's
// shared-mime-info database (through GIO) guesses the content type from the
// name alone and names the type's generic icon.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shell/shell_interfaces.h"

namespace hub::platform {

inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t SHGFI_SMALLICON = 0x1;
inline constexpr uint32_t SHGFI_USEFILEATTRIBUTES = 0x10;
inline constexpr uint32_t SHGFI_ICON = 0x100;
inline constexpr uint32_t SHGFI_LINKOVERLAY = 0x8000;

struct SHFILEINFO {
  ShellIcon hIcon = 0;      // with SHGFI_ICON: a new icon handle the caller destroys
  std::string contentType;  // e.g. "audio/mpeg"
};

// With SHGFI_USEFILEATTRIBUTES no file is read: the name decides. The icon's
// image is the type's generic icon name ("audio-x-generic"), with " (link)"
// for SHGFI_LINKOVERLAY; 16 pixels with SHGFI_SMALLICON, else 32. False when
// the database gives no type.
bool SHGetFileInfo(std::string_view name, uint32_t attributes, SHFILEINFO& info, uint32_t flags);

// How many times the type database was asked (tests count the look-ups).
uint64_t FileTypeLookups();

}  // namespace hub::platform
