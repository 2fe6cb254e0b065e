// Which audio codecs this system's media libraries carry: the stand-ins for
// the Windows Media runtime's decoders and encoder.
#pragma once

namespace hub::platform::media {

// libavcodec decodes MPEG audio Layer III and WMA (v1, v2).
bool HasMp3AndWmaDecoders();
// libavcodec encodes WMA v2 and libavformat writes ASF.
bool HasWmaEncoder();

}  // namespace hub::platform::media
