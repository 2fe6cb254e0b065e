// Folder routines on the computer (native paths): the product's temporary
// folder and its subfolders, creating and deleting folder trees.
#pragma once

#include <string>
#include <string_view>

namespace hub {

// Temporary subfolders used by the system.
inline constexpr std::string_view kTempTx2Pc = "tx2pc";
inline constexpr std::string_view kTempPipecast = "pipecast";
inline constexpr std::string_view kTempSurgecast = "surgecast";
inline constexpr std::string_view kTempSkin = "skin";
inline constexpr std::string_view kTempTx2Device = "tx2device";

// The product's temporary folder (`Gen_TempPath` when it names a folder, else
// the system temporary folder + "/$<explorer name>$", which is then stored),
// plus `sub` when given. Ends in "/"; the folders are created.
std::string GetTempFolder(std::string_view sub = {});
// What GetTempFolder falls back to when `Gen_TempPath` names no folder.
std::string DefaultTempFolder();
// Deletes the subfolder with everything in it and re-creates it empty.
std::string MakeCleanTempFolder(std::string_view sub);

// Recursive delete, read-only entries included; a symbolic link is removed,
// never followed. Individual failures are ignored.
void DeleteFolderTree(const std::string& path);
// Creates missing parents, then the folder; an existing folder is no error.
bool CreateFolderPath(const std::string& path);
// Removes the folder and then each empty ancestor, stopping at `stopAt`
// (exclusive) and never removing "/".
void RemoveEmptyFolders(const std::string& path, const std::string& stopAt = {});

}  // namespace hub
