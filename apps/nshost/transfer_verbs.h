// What nshost plays of Explorer's side of clipboard and drag and drop: a
// folder of the computer as a drop target (it copies the dropped files, as a
// file manager does), a wrapper that prints what a drop target answers, and
// the window a drag is aimed at.
#pragma once

#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"

namespace hub::nshost {

// A drop target for a folder of the computer: takes CF_HDROP and copies each
// file (folders whole) into it, keeping names; a name already there gets
// " (2)", " (3)" ... before its extension. One reference for the caller.
platform::IDropTarget* CreateComputerFolderTarget(const std::string& folder);

// Forwards to `inner` and prints "drag: <effect>" at enter and "drop: <effect>"
// at the drop. One reference for the caller; `inner` is kept.
platform::IDropTarget* CreateReportingTarget(platform::IDropTarget* inner);

// The name of an effect: "none", "copy", "move", "link".
std::string EffectName(uint32_t effect);

// A hidden window of this process that a drag can be aimed at; made once.
platform::ShellWindow DropPlaceWindow();

// The file list's paths made absolute; a missing file throws std::runtime_error.
std::vector<std::string> AbsolutePaths(const std::vector<std::string>& paths);

}  // namespace hub::nshost
