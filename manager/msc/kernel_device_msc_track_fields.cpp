// Single-field track getters: each answers from the track's database record,
// so a client asking for one field sees what GetTrackInfo would give.
#include "manager/msc/kernel_device_msc_base.h"

namespace hub {
namespace {

std::string FileNamePart(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

// An unknown id leaves the fresh record as it is: every field then answers 0 or "".
#define HUB_MSC_FIELD(Type, Name, expr)                      \
  Type KernelDeviceMSCBase::Name(const KernelId& id) {       \
    _AUDIODATA r;                                            \
    GetTrackInfo(id, r);                                     \
    return expr;                                             \
  }

HUB_MSC_FIELD(int, GetTrackSizeKB, static_cast<int>(r.size / 1024))
HUB_MSC_FIELD(std::string, GetTrackArtist, r.artist.str())
HUB_MSC_FIELD(std::string, GetTrackAlbum, r.album.str())
HUB_MSC_FIELD(int, GetTrackNumber, static_cast<int>(r.trackNumber))
HUB_MSC_FIELD(std::string, GetTrackTitle, r.title.str())
HUB_MSC_FIELD(int, GetTrackCodec, r.path.empty() ? 0 : r.fileType)
HUB_MSC_FIELD(int, GetTrackLength, static_cast<int>(r.length))
HUB_MSC_FIELD(int, GetTrackBitrate, static_cast<int>(r.bitrate))
HUB_MSC_FIELD(int, GetTrackValue4140, static_cast<int>(r.year))
HUB_MSC_FIELD(std::string, GetTrackText4150, r.genre.str())
HUB_MSC_FIELD(std::string, GetTrackText4160, r.comment.str())
HUB_MSC_FIELD(int, GetTrackLocked, r.locked)
HUB_MSC_FIELD(std::string, GetTrackItemName, FileNamePart(r.path.Get()))

#undef HUB_MSC_FIELD

}  // namespace hub
