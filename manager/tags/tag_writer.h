// Writing a track's tags into its audio file when they change on the player:
// ID3 for MP3 (id3lib), ASF attributes for WMA (platform/media); files of
// other formats are left alone. Used by the device's SetTrackInfo.
#pragma once

#include <functional>

#include "common/records.h"

namespace hub {

// A damaged or locked file must not hang the caller longer than this.
inline constexpr int kTagWriteTimeoutMs = 5000;

// The write itself. The record's path is a player path ("E:\...", resolved
// inside the player) or a path on this computer. MP3: artist, album, track
// number, title, year, genre and comment replace their frames and every other
// frame stays; v1 and/or v2 as `ATM_TWB_UseV1`/`ATM_TWB_UseV2` say (v1 alone
// when neither is set, both when `force` is non-zero). The file is replaced
// whole or not at all. True on success and for files of other formats.
bool WriteTagsToFile(const _AUDIODATA& record, int force);

// Runs WriteTagsToFile on a worker thread with its own copy of the record and
// waits at most `timeoutMs`: 1 when the write succeeded, 0 when it failed or
// has not finished in time. Writes run one at a time in the process; a write
// that outlives its caller still finishes on its own copy, and its result is
// dropped.
int WriteTrackTags(const _AUDIODATA& record, int force, int timeoutMs = kTagWriteTimeoutMs);

// The shared helpers' name for it: the write with the 5 s limit.
inline int WriteTagsWithTimeout(const _AUDIODATA& record, int force) { return WriteTrackTags(record, force); }

// Test seam: called on the worker, before the write, with the worker's copy.
void SetTagWriteHook(std::function<void(const _AUDIODATA&)> hook);

// Test seam: `hook` is the tag-write hook while in scope; the one it replaced
// is back afterwards (waiting for a write under way to finish).
class ScopedTagWriteHook {
 public:
  explicit ScopedTagWriteHook(std::function<void(const _AUDIODATA&)> hook);
  ~ScopedTagWriteHook();
  ScopedTagWriteHook(const ScopedTagWriteHook&) = delete;
  ScopedTagWriteHook& operator=(const ScopedTagWriteHook&) = delete;

 private:
  std::function<void(const _AUDIODATA&)> previous_;
};

}  // namespace hub
