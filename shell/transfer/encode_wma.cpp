// WMA targets through the media runtime's writer (platform/media): the
// format index the rate setting chooses, at that index's constant bitrate.
#include <string>
#include <vector>

#include "platform/media/codecs.h"
#include "platform/media/wma_writer.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/codec_jobs.h"

namespace hub {

int EncodeWma(const std::string& source, const std::string& destination, bool vbr, int rate, CodecProgress& progress) {
  using platform::media::WmaWriter;
  constexpr size_t kBlockBytes = 20000;
  if (!platform::media::HasWmaEncoder()) return -125;
  WavSource input;
  switch (input.Open(source)) {
    case WavSource::OpenResult::Ok: break;
    case WavSource::OpenResult::NoFile: return -400;
    default: return -600;
  }
  OutputFile out(destination);
  WmaWriter writer;
  const platform::Status opened = writer.Open(out.temporaryPath(), WmaIndexKbps(WmaFormatIndex(vbr, rate)));
  if (!opened.ok()) return opened.what() == std::string(WmaWriter::kEncoder) ? -200 : -300;
  std::vector<uint8_t> block(kBlockBytes);
  for (;;) {
    const int64_t got = input.Read(block.data(), block.size());
    if (got < 0) return -600;
    if (got == 0) break;
    if (!writer.Write(block.data(), size_t(got)).ok()) return -500;
    progress.Fraction(input.position(), input.length());
  }
  if (!writer.Finish().ok()) return -700;
  return out.Commit() ? 0 : -800;
}

}  // namespace hub
