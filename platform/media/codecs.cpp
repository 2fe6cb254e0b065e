// Codec presence through libavcodec and libavformat.
#include "platform/media/codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace hub::platform::media {

bool HasMp3AndWmaDecoders() {
  return avcodec_find_decoder(AV_CODEC_ID_MP3) && avcodec_find_decoder(AV_CODEC_ID_WMAV2) &&
         avcodec_find_decoder(AV_CODEC_ID_WMAV1);
}

bool HasWmaEncoder() { return avcodec_find_encoder(AV_CODEC_ID_WMAV2) && av_guess_format("asf", nullptr, nullptr); }

}  // namespace hub::platform::media
