// The comment names the Ogg and FLAC readers share, in the order they apply.
#pragma once

#include <functional>
#include <string>

#include "common/records.h"

namespace hub::metadata {

// `value(name)` answers the first value of a comment name (upper or lower
// case as the format stores it), or nothing. Later names overwrite earlier
// ones: PERFORMER replaces the artist, DESCRIPTION the comment.
void ApplyVorbisComments(const std::function<bool(const char* name, std::string& value)>& value, _AUDIODATA& record);

}  // namespace hub::metadata
