// RoamdeckDialog: puts together files on the computer to fit the player's
// memory segments, in transfer order, and saves them as a playlist or sends
// each segment's files to the player.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/records.h"
#include "platform/ui/ui_window.h"
#include "shell/options/roamdeck_list.h"

namespace hub {

class RoamdeckDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 572;
  static constexpr int kTracks = 1073;
  static constexpr int kSegments = 1074;
  static constexpr int kClear = 1075;
  static constexpr int kPickTracks = 1076;
  static constexpr int kSetRandomFolder = 1077;
  static constexpr int kRandomFolderText = 1078;
  static constexpr int kSort = 1079;
  static constexpr int kShuffle = 1080;
  static constexpr int kSummary = 1081;
  static constexpr int kTransfer = 1082;
  static constexpr int kSaveAsPlaylist = 1083;
  static constexpr int kLoadPlaylist = 1084;
  static constexpr int kSetPlaylistFolder = 1085;
  static constexpr int kPlaylistFolderText = 1086;
  static constexpr int kHelp = 1087;

  // What the dialog needs of others: expanding dropped paths and sending
  // files to the player. A missing one is the library's own (tests replace them).
  struct Services {
    // Paths expanded into audio files as a transfer expands them.
    std::function<std::vector<std::string>(const std::vector<std::string>& paths, bool sort, bool audioOnly)> expand;
    // One transfer of files to the segment just selected; returns when it has ended.
    std::function<void(const KernelId& segment, const std::vector<std::string>& files)> transfer;
    FileSizeReader sizeOf = FileSizeOnDisk;
    std::function<uint32_t()> tick;
  };

  explicit RoamdeckDialog(Services services, platform::ui::WindowHandle parent = 0);

  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;

  // The handlers, as the controls call them.
  void OnDropFiles(const std::vector<std::string>& paths) override;
  void PickPlaylist();
  void PickRandom();
  void ChooseRandomFolder();
  void ChoosePlaylistFolder();
  void SaveAsPlaylist();
  void TransferToDevice();
  void UpdateSummary(bool report);
  // Ticks or clears a segment's box, as a click in the list does.
  void SetSegmentChecked(int segment, bool checked);
  bool SegmentChecked(int segment) const;
  // A drag of one track-list row onto another (-1: dropped on no row).
  void DragRow(int source, int target);
  void DeleteSelectedRows();

  const std::vector<std::string>& Files() const { return files_; }
  const std::vector<uint32_t>& SegmentOf() const { return segmentOf_; }

 private:
  Services services_;
  bool initialised_ = false;
  std::vector<std::string> files_;
  std::vector<uint32_t> segmentOf_;
  std::vector<uint32_t> freeKB_;
  std::vector<int32_t> remainingKB_;
  std::vector<KernelId> segmentIds_;
};

// The dialog with this library's services, run modally.
void ShowRoamdeckDialog(platform::ui::WindowHandle owner);

}  // namespace hub
