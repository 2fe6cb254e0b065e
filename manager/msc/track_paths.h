// Where a track goes on a mass-storage player: the naming rule over its tags
// (`MS_Tx_FilenameFormat`), with every value made safe as one path component,
// the whole kept within the protocol's path fields and inside the player's
// root, and a free name taken when the place is already used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/path_component.h"  // CleanPathComponent: one tag value as a component
#include "common/records.h"

namespace hub {

inline constexpr std::string_view kDefaultFilenameFormat = "%G\\%A\\%F";
// A player path must fit the id's name field (256 bytes) as well as the record's path field.
inline constexpr size_t kMaxPlayerPathBytes = kKernelIdNameSize - 1;
// Room a place leaves for " (999)", so that its numbered forms fit as well.
inline constexpr size_t kNumberedSuffixRoom = 6;

// The place of a track relative to the audio root: folder (ending in "\" or
// empty), name, and extension without dot.
struct TrackTargetPath {
  std::string folder;
  std::string name;
  std::string extension;
};

// The naming rule. `pattern` empty means the default "%G\%A\%F". Without a
// record: "Unknown\", "Unknown", "mp3". Components the pattern itself makes
// are cleaned too, so no pattern or tag can climb out of the audio root.
TrackTargetPath BuildTargetPath(const _AUDIODATA* record, std::string_view pattern);

// root + audioRoot + "\" + folder + name + "." + extension, doubled separators
// folded. When longer than kMaxPlayerPathBytes less kNumberedSuffixRoom, the folder and name components
// are shortened (longest first, never below one character); nothing when even
// that cannot make it fit.
std::optional<std::string> JoinTargetPath(std::string_view root, std::string_view audioRoot, const TrackTargetPath& place);

// A player path with " (2)", " (3)", ... before the extension (for a taken place),
// still within kMaxPlayerPathBytes.
std::string NumberedPath(std::string_view playerPath, int number);

// Whether `playerPath` lies inside `root` (both "E:\..." forms): no ".." or "."
// component, no empty name, same drive, and it starts with the root.
bool IsInsideRoot(std::string_view playerPath, std::string_view root);

}  // namespace hub
