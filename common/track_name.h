// Track names built from a pattern of codes filled from the track's tags:
// %A artist, %L album, %T title, %G genre, %N number, %C extension, %Y year.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"

namespace hub {

inline constexpr std::string_view kTrackDisplayFormatSetting = "JB_TrackDisplayFormat";
inline constexpr std::string_view kTrackFileNameFormatSetting = "JB_Tx2PC_FilenameFormat";
// A setting name that is never written, so URL names always use the default pattern.
inline constexpr std::string_view kTrackUrlFormatSetting = "ForceUseDefaultFormatWithNoSlashes";
inline constexpr std::string_view kDefaultDisplayPattern = "%A - %L - %N - %T";
inline constexpr std::string_view kDefaultFileNamePattern = "%A - %L - %N - %T.%C";

// A tag text as it goes into a name: slashes removed, trimmed, trailing dots
// dropped (one dot stays), "Unknown" when empty.
std::string CleanTagForName(std::string_view tag);

// Fills the pattern from the record in one left-to-right pass, so a tag that
// itself holds a code is never rewritten.
std::string ApplyTrackPattern(const _AUDIODATA& track, std::string_view pattern);

// The URL form of a formatted name: "#", "\" and "/" removed, normalised and
// percent-encoded, within 260 bytes.
std::string UrlNameFromFormatted(std::string_view formatted);

}  // namespace hub
