// Copying items of the player to a folder of this computer: the "Copy to
// Computer" command asks for the folder, the selection becomes a list of
// files with the name and folder each gets there (playlists become folders
// with an M3U), and the transfer dialog copies them. Dragging items out uses
// the same list with the "tx2pc" temporary folder as the target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

inline constexpr std::string_view kLastPcFolderSetting = "Vad_Tx2PC_LastFolder";
inline constexpr std::string_view kChooseTargetTitle = "Select a folder to copy files to:";
// What the copy list's kinds mean besides a directly selected item's class word.
inline constexpr uint32_t kPcCopyTrack = 2;
inline constexpr uint32_t kPcCopyDataFile = 3;

// One entry per file, in selection order. `names` are relative to `folders`,
// "\"-separated and already safe (every component cleaned); `folders` are
// absolute native folders inside the target.
struct PcCopyList {
  std::vector<KernelId> ids;
  std::vector<uint32_t> kinds;
  std::vector<std::string> names;
  std::vector<std::string> folders;

  void Add(const KernelId& id, uint32_t kind, std::string name, std::string folder);
  size_t size() const { return ids.size(); }
  bool empty() const { return ids.empty(); }
};

// A name from the player (a formatted track name, which may hold the
// pattern's folders, or an item name) as a relative name: split at "\" and
// "/", every component made one safe component ("." and ".." become "_"),
// empty components dropped, joined by "\". "_" when nothing is left.
std::string SafePcRelativeName(std::string_view name);
// One value (a playlist or data item name) as exactly one safe component.
std::string SafePcComponent(std::string_view value);

// folder + "/" + the relative name in native form, when `folder` is absolute
// and no component of the name is "." or ".." (so the path lies inside it).
std::optional<std::string> PcPathInside(std::string_view folder, std::string_view name);

// The "Copy to Computer" command on the selection of the folder `folder`.
void TransferToPc(LPCITEMIDLIST folder, const CPidlList& selection);

// Builds the copy list for the selection into `target` (an absolute native
// folder ending in "/"), makes playlist folders and their M3U files, appends
// each file's top-level path (the subfolder it creates or the file itself) to
// `topLevel` and copies the files with the transfer dialog.
void StageTransferToPc(LPCITEMIDLIST folder, const CPidlList& selection, std::string_view target,
                       std::vector<std::string>& topLevel);

// The list alone, as StageTransferToPc builds it (playlist folders and M3U
// files are made); device failures throw.
PcCopyList BuildPcCopyList(const CPidlList& selection, std::string_view target, std::vector<std::string>& topLevel);

// Appends every data file below the player's data folder `folder`, with
// `prefix` (a native folder) as its folder; subfolders recurse with their
// name appended to the prefix.
void CollectDataFolderFiles(const KernelId& folder, std::string_view prefix, PcCopyList& list);

}  // namespace hub
