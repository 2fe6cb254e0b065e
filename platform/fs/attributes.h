// File attributes of files on the player: read-only, hidden and system, kept
// by the FAT volume itself where it can (its attribute ioctl), otherwise in a
// user extended attribute where the file system has them, otherwise dropped.
#pragma once

#include <cstdint>
#include <string>

namespace hub::platform {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;  // none of the others
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Attributes of a native path; kInvalidAttributes when it cannot be read.
uint32_t ReadFileAttributes(const std::string& nativePath);
// Sets read-only, hidden, system and archive as given (kAttributeNormal clears
// them). False only when the file cannot be reached; a file system without a
// place for hidden and system keeps the rest.
bool WriteFileAttributes(const std::string& nativePath, uint32_t attributes);

}  // namespace hub::platform
