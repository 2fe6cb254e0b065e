// Skins: the skins folder, the one list of skins (folders and zipped skin
// files) and the resolution of a file of the selected skin to a local path.
// Every resolved path lies inside the skin (or its cache folder); names that
// would leave it are refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

// Files taken out of a zipped skin are bounded: an entry that inflates
// further fails with "Could not cache file from zipped skin.".
inline constexpr int64_t kMaxSkinEntryBytes = int64_t{64} << 20;
inline constexpr std::string_view kDefaultSkinName = "Default";

// `KW_TestSkinsDir` + "/" when that folder exists, else `Gen_AppDataDir` +
// "/skins/"; empty when neither setting gives a folder name.
std::string SkinsFolder();

// Entries of `folder` that are skins: subfolders, and files whose lower-cased
// extension is ".ksk" or the product's skin extension. Sorted by name.
std::vector<std::string> ListSkins(const std::string& folder);

// `KW_Skin`, or "Default" when it is empty or could not name an entry of the
// skins folder (a separator, "." or ".."): a bad stored value never leaves it.
std::string SelectedSkinName();

// Stores `name` as `KW_Skin` when the skin list holds it; false otherwise.
bool SelectSkin(std::string_view name);

// True when `relative` ("/" or "\" separated) names a file inside a root:
// not absolute, no ".." or empty-name tricks, no NUL, no drive colon.
bool IsSafeSkinRelativePath(std::string_view relative);

// The local path of `relative` in the selected skin. A plain skin's file that
// differs only in case is found too; a zipped skin's file is taken out into
// the "skin" temporary folder (once; again after the archive changed). On
// failure `out` is the error message.
bool ResolveSkinFile(std::string_view relative, std::string& out);

// Copies the skin folder `source` into the skins folder as "Default" when the
// skins folder has no "Default" yet (the installer's part). False on failure.
bool InstallDefaultSkin(const std::string& source);

// The "Default" skin shipped beside the program: share/hub/skins/Default
// above the program's folder (installed, or in the build tree); empty if none.
std::string ShippedDefaultSkin();

}  // namespace hub
