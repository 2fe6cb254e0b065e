// The conversion step within a transfer.
#include "shell/transfer/transcode.h"

#include <unistd.h>

#include <cstdio>

#include "common/folders.h"
#include "common/printf.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "manager/tags/tag_writer.h"
#include "shell/transfer/codec_jobs.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace {

constexpr int kProgressStep = 5;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Waits for the running job's end while the dialog's thread pumps, then joins its thread.
int32_t WaitForJob(ConversionDialog& dialog) {
  auto done = [&] { return dialog.conversionBusy.load() == 0; };
  // Without a progress window nothing posts a wake-up: look again every 50 ms.
  const uint32_t slice = dialog.progressWindow() ? 0xFFFFFFFF : 50;
  while (!PumpMessagesUntil(done, slice)) {
  }
  JoinCodecThreads();
  // The final code's post may land after the flag was seen: let it through.
  PumpMessagesUntil([] { return true; }, 0);
  return dialog.conversionResult.load();
}

}  // namespace

std::string TranscodeForDevice(ConversionDialog& dialog, std::string& resultPath, std::string& message,
                               const std::string& source, const _AUDIODATA& record) {
  resultPath.clear();
  const int target = int(RuleFormat(GetTranscodeRule(GetTrackFileType(source))));
  const std::string work = GetTempFolder(kTempXcode);
  const std::string temporary = work + "tmp.wav";
  const std::string name = BaseName(source);
  ::unlink(temporary.c_str());
  struct RemoveTemporary {
    const std::string& path;
    ~RemoveTemporary() { ::unlink(path.c_str()); }
  } removeTemporary{temporary};

  dialog.SetStatusText("Sonvert Decoding... " + name);
  dialog.conversionBusy = 1;
  dialog.conversionResult = 0;
  StartDecode(source, temporary, &ConversionDialog::OnProgress, &dialog, kProgressStep);
  if (const int32_t result = WaitForJob(dialog); result != 0) {
    message += Printf("Sonvert decoding error %d...", result);
    return {};
  }

  const std::string extension(GetExtensionForFileType(target));
  const std::string upper = AsciiUpper(extension);
  const std::string destination = work + name + "." + extension;
  ::unlink(destination.c_str());
  const bool vbr = SettingDword("Xc_" + upper + "_RateMode_VBR", 0) != 0;
  const int rate = int(SettingDword("Xc_" + upper + (vbr ? "_VBRQuality" : "_CBRBitrate"), 128));
  if (target == kFileTypeWav) message += "Sonverting to WAV...";
  else message += Printf("Sonverting to %s %s %d...", upper.c_str(), vbr ? "VBR" : "CBR", rate);

  dialog.SetStatusText("Sonvert Encoding... " + name);
  dialog.conversionBusy = 1;
  dialog.conversionResult = 0;
  StartEncode(temporary, destination, target, vbr, rate, &ConversionDialog::OnProgress, &dialog, kProgressStep);
  if (const int32_t result = WaitForJob(dialog); result != 0) {
    message += Printf("Sonvert encoding error %d...", result);
    ::unlink(destination.c_str());
    return {};
  }

  _AUDIODATA converted = record;
  converted.path.Set(destination);
  converted.fileType = uint8_t(target);
  WriteTrackTags(converted, 0);
  dialog.SetStatusText(name + "." + extension);
  resultPath = destination;
  return destination;
}

}  // namespace hub
