// Version texts. A module's version is a marker embedded in its file
// ("HUBFILEVERSION=" and four numbers), the counterpart of a version resource.
#pragma once

#include <string>

namespace hub {

// "%d.%d.%d" plus one letter ('a' + fourth - 1) when the fourth part is
// non-zero (short form), or "%d.%d.%d.%d"; "1.0.0" when the file or marker is missing.
std::string GetVersionText(const std::string& path, bool shortForm);
// The short version of the running program's own module.
std::string GetModuleVersionString();

}  // namespace hub
