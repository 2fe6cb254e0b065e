// The conversion step of a transfer: decodes a source file to "tmp.wav" in
// the work folder "xcode", encodes that into the target of the file's Sonvert
// rule at the configured rate, writes the track's tags into the result and
// hands its path back. Runs on the dialog's thread and pumps its messages
// while the codec threads work; one conversion at a time.
#pragma once

#include <string>

#include "common/records.h"
#include "shell/transfer/conversion_dialog.h"

namespace hub {

inline constexpr std::string_view kTempXcode = "xcode";

// The converted file's path (also stored in `resultPath`), or an empty path
// on failure; appends what it did, and any error, to `message`. Nothing of a
// failed conversion stays in the work folder.
std::string TranscodeForDevice(ConversionDialog& dialog, std::string& resultPath, std::string& message,
                               const std::string& source, const _AUDIODATA& record);

}  // namespace hub
