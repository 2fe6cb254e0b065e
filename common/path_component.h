// One text as one path component: what both deliverables do to a tag, a
// playlist name or an item name before it names a file or folder, so no value
// can add a separator, climb out of its folder or vanish.
#pragma once

#include <string>
#include <string_view>

namespace hub {

// Slashes and control characters removed, characters a FAT volume refuses
// turned into nothing, white space trimmed, one final "." dropped;
// `placeholder` when nothing, or only dots, is left.
std::string CleanPathComponent(std::string_view value, std::string_view placeholder = "Unknown");

}  // namespace hub
