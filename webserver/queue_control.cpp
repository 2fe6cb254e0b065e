// The qcontrol command: play-queue operations on the device, the outcome in
// the variable "qresult".
#include <algorithm>
#include <charconv>
#include <climits>

#include "common/device_track_name.h"
#include "common/kernel_device.h"
#include "common/text.h"
#include "webserver/http_response.h"
#include "webserver/template_nodes.h"
#include "webserver/template_text.h"

namespace hub {
namespace {

// A decimal level as `atoi` reads it (leading blanks, sign, digits), but
// saturated instead of overflowing; 0 when there are no digits.
long long ReadLevel(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
  }
  return negative ? -value : value;
}

std::vector<KernelId> EnqueueList(KernelDevice& device, const std::string& type, const std::string& a2,
                                  const std::string& a3, bool& known) {
  known = true;
  uint64_t id = 0;
  if (type == "AUDIOSINGLE") {
    if (!ParseItemId(TrimBlanks(a2), id)) return {};
    return {KernelId::FromRecordId(id)};
  }
  if (type == "AUDIOALL") return AllUnlockedTracks(device);
  if (type == "SEARCHRESULTS") {
    std::vector<KernelId> ids = LastSearchResults();
    SortTracks(device, ids);
    return ids;
  }
  if (type == "AUDIOBYARTIST") return FoundTracks(device, a2, "", "", false);
  if (type == "AUDIOBYALBUM") return FoundTracks(device, a3, a2, "", false);
  if (type == "AUDIOBYGENRE") return FoundTracks(device, "", "", a2, false);
  if (type == "PLAYLIST") {
    if (!ParseItemId(TrimBlanks(a2), id)) return {};
    KernelId pl = KernelId::FromRecordId(id);
    std::vector<KernelId> items;
    KernelId item;
    for (int more = device.GetFirstPlaylistItem(pl, item); more != 0; more = device.GetNextPlaylistItem(pl, item)) {
      items.push_back(item);
    }
    return items;
  }
  known = false;
  return {};
}

}  // namespace

void ExpQueueControl::Execute(TemplateOutput&, VariableMap& v, KernelDevice& device) {
  std::vector<std::string> args = arguments_;
  if (args[0] == "from_url") args[0] = FromUrl(v, "qcmd");
  for (int i = 1; i <= 3; ++i) {
    if (args[i] == "from_url") args[i] = FromUrl(v, "qarg" + std::to_string(i));
  }
  std::string command = TrimBlanks(AsciiLower(args[0]));
  std::string result;
  // Volume and pause change through the family without the count; kept
  // pages must not outlive any command.
  File()->Environment().keepable = false;
  if (!command.empty()) device.NoteDeviceChange();
  if (command.empty()) {
  } else if (command == "enqueue") {
    bool known = true;
    std::vector<KernelId> tracks = EnqueueList(device, args[1], args[2], args[3], known);
    if (!known) {
      result = HtmlEscape("Unknown enqueue loop type: '" + args[1] + "'.");
    } else {
      for (const auto& t : tracks) device.EnqueueTrack(t);
      result = std::to_string(tracks.size()) + " track(s) enqueued.";
    }
  } else if (command == "play") {
    device.PlayCurrentQueueItem();
    result = "Playback started.";
  } else if (command == "pause") {
    device.SetPaused(device.IsPaused() == 0 ? 1 : 0);
    result = device.IsPaused() != 0 ? "Playback paused." : "Playback unpaused.";
  } else if (command == "prev") {
    device.PlayPreviousQueueItem();
    result = "Skipped to previous track.";
  } else if (command == "next") {
    device.PlayNextQueueItem();
    result = "Skipped to next track.";
  } else if (command == "stop") {
    device.StopPlayback();
    result = "Playback stopped.";
  } else if (command == "skipto") {
    uint64_t id = 0;
    if (ParseItemId(TrimBlanks(args[1]), id)) {
      KernelId track = KernelId::FromRecordId(id);
      device.SetQueuePositionToTrack(track);
      device.PlayCurrentQueueItem();
      result = "Skipped to: " + HtmlEscape(FormatTrackDisplayName(device, track)) + ".";
    }
  } else if (command == "shuffle") {
    device.ShuffleQueue();
    result = "Active Queue shuffled.";
  } else if (command == "clear") {
    device.ClearQueue();
    result = "Active Queue cleared.";
  } else if (command == "volume") {
    int level = static_cast<int>(std::clamp<long long>(ReadLevel(args[1]), 0, 100));
    device.SetVolume(level);
    result = "Volume set to " + std::to_string(level) + "%.";
  } else {
    result = HtmlEscape("Unknown queue control command: '" + command + "'.");
  }
  v["qresult"] = result;
}

}  // namespace hub
