// A read-only copy of a device's tracks, playlists and playlist entries as the
// SQL tables read them, laid out for scanning: fixed fields side by side, texts
// as ranges of one buffer. Immutable once built, so queries on any thread
// share it without the device's lock.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

class KernelDevice;

struct QuerySnapshot {
  enum TrackText { kArtist, kAlbum, kTitle, kGenre, kComposer, kComment, kTrackTextCount };
  struct TextRange {
    uint32_t offset = 0;
    uint32_t size = 0;
  };
  struct Track {
    uint64_t id = 0;  // the KernelId's 64-bit key
    uint32_t trackNumber = 0, length = 0, year = 0, bitrate = 0, size = 0, playCount = 0;
    int32_t locked = 0;  // GetTrackLocked's answer
    int32_t failure = -1;  // index into failures when reading the record threw
    uint8_t rating = 0;
    uint8_t fileType = 0;
    std::array<TextRange, kTrackTextCount> texts{};
  };
  struct Playlist {
    uint64_t id = 0;
    TextRange name;
  };
  struct PlaylistItem {
    uint64_t playlist = 0;
    uint32_t position = 0;
    uint64_t track = 0;
  };

  // Whether each list's ids never go down, so rows are found by binary search.
  bool tracksAscending = true, playlistsAscending = true, itemsAscending = true;
  std::vector<Track> tracks;          // in the device's walk order
  std::vector<uint64_t> trackIds;     // tracks[i].id side by side
  // Open addressing over trackIds: row + 1 of the first track with an id, 0 for a free slot.
  std::vector<uint32_t> trackSlots;
  std::vector<Playlist> playlists;    // likewise
  std::vector<PlaylistItem> items;    // playlist by playlist, each in its order
  std::string texts;
  // What reading a track's record threw: a query that reads that track's
  // fields throws it then, as a walk of the device would have.
  std::vector<std::exception_ptr> failures;

  // The first row of the track with that id, or -1.
  int32_t FindTrack(uint64_t id) const;
  std::string_view Text(TextRange range) const { return std::string_view(texts).substr(range.offset, range.size); }
  std::string_view TrackTextAt(size_t row, TrackText which) const { return Text(tracks[row].texts[which]); }
};

// Walks the device (tracks with their records and locked flags, playlists
// and their entries) into a new snapshot. The caller holds the device's lock.
QuerySnapshot BuildQuerySnapshot(KernelDevice& device);

}  // namespace hub
