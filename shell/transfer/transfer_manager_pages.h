// The Transfer Manager's pages: the audio tracks with their tags (reordered,
// edited, dropped, and written back into the files on OK), the plain data
// files, and the folders and playlist files that may become playlists on the
// player. Each page works on the rows the worker then sends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/records.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"
#include "shell/transfer/path_expansion.h"

namespace hub {

// Menu 598's first submenu: the audio page's commands (the data page shows it
// without its first four entries).
platform::ui::Menu TransferManagerMenu();

using TrackRows = std::vector<std::unique_ptr<_AUDIODATA>>;

class CTMAudioPage : public platform::ui::PropertyPage {
 public:
  static constexpr int kTemplateId = 521;
  enum : int { kList = 1101, kPathEdit = 1111 };
  enum : int {
    kEditTags = 5000, kAutoFillTrackNumbers = 5001, kRemove = 5002, kReparse = 606, kReread = 621,
    kSwapFields = 608, kCopyField = 609, kPrependArtist = 626, kPrependTrackNumber = 625,
  };
  // The layout of the tag editor the page opens.
  static constexpr int kTagEditorLayout = 528;

  explicit CTMAudioPage(const std::vector<std::string>& paths);
  ~CTMAudioPage() override;

  // The tracks in list order, each with its source path.
  const TrackRows& Rows() const { return rows_; }
  platform::ui::ListView& List() const { return Ctl<platform::ui::ListView>(kList); }

  bool OnInitDialog() override;
  // Tag write-back on the sheet's OK.
  void OnOK() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  // WM_MOUSEMOVE and WM_LBUTTONUP while a row drag holds the capture.
  void OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
  void OnMouseMove(platform::ui::Point point);
  void OnLButtonUp(platform::ui::Point point);
  // WM_SIZE of the page's client area.
  void OnSize(int width, int height);

 private:
  void FillList();
  void ShowSelectedPath();
  void ContextMenu();
  // The selected rows, or nothing after "No items selected.".
  std::vector<int> Selection();
  void EditTags(const std::vector<int>& rows);
  void ChooseAndApply(bool copy, const std::vector<int>& rows);
  void AutoFill(const std::vector<int>& rows);
  void ReadAgain(const std::vector<int>& rows, bool fromPathOnly);

  const std::vector<std::string>& paths_;
  TrackRows rows_;
  int dragRow_ = -1;
  int dropTarget_ = -1;
  bool initialised_ = false;
};

class CTMDataPage : public platform::ui::PropertyPage {
 public:
  static constexpr int kTemplateId = 533;
  enum : int { kSkipAll = 1108, kList = 1101 };

  explicit CTMDataPage(const std::vector<std::string>& paths);
  ~CTMDataPage() override;

  // The data files in list order (the record's path is the file's).
  const TrackRows& Rows() const { return rows_; }
  // "Check here to SKIP all data files."
  bool SkipAll() const { return skipAll_ != 0; }
  platform::ui::ListView& List() const { return Ctl<platform::ui::ListView>(kList); }

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  void OnSize(int width, int height);

 private:
  void FillList();
  void RemoveSelected();

  int skipAll_ = 0;
  bool initialised_ = false;
  const std::vector<std::string>& paths_;
  TrackRows rows_;
};

class CTMPlaylistPage : public platform::ui::PropertyPage {
 public:
  static constexpr int kTemplateId = 536;
  enum : int { kSelectAll = 604, kDeselectAll = 605, kOverwrite = 1147, kList = 1101, kText = 1000 };

  // `sources` loses, on OK, the entries whose rows were left unchecked.
  explicit CTMPlaylistPage(TransferGroups& sources);

  platform::ui::ListView& List() const { return Ctl<platform::ui::ListView>(kList); }

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  void OnOK() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  void OnSize(int width, int height);

 private:
  void FillList();
  void CheckAll(bool checked);

  bool initialised_ = false;
  int overwrite_ = 0;
  TransferGroups& sources_;
  std::vector<std::string> checked_;
};

}  // namespace hub
