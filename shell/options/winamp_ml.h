// The shell library as a media-library plug-in: one tree entry named after the
// attached device, and a view (CWinampMLDlg) that lists the namespace's first
// folder and hands the host stream addresses of the manager's web server to
// play or queue. Everything runs on the host's user-interface thread; device
// failures are reported and never leave a window procedure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "platform/ui/ui_window.h"
#include "platform/winamp/ml_plugin.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CShellFolder;

class CWinampMLDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 6001;
  static constexpr int kList = 1101;
  static constexpr int kStatus = 6002;
  static constexpr int kBanner = 6004;
  static constexpr int kPlay = 6005;
  static constexpr int kPlayAll = 6006;
  static constexpr int kEnqueue = 6007;
  static constexpr int kEnqueueAll = 6008;
  static constexpr int kHelp = 6009;

  explicit CWinampMLDlg(platform::winamp::MlPlugin* plugin);
  ~CWinampMLDlg() override;

  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  void OnDestroy() override;

  void FillList();
  void UpdateStatus();
  // The rows (all, or the selected ones) as stream records sent to the host.
  void PlayItems(bool all, bool enqueue);
  void SortByColumn(int column);

  uint32_t TextColour() const { return textColour_; }
  uint32_t BackColour() const { return backColour_; }

 private:
  struct Row {
    OwnedIdList ids;
  };
  const Row* RowAt(int row) const;
  std::string CellText(int row, int column) const;
  void Activate();
  void ContextMenu();
  // Runs a handler; a failure of the device is shown, not thrown on.
  template <class F>
  void Guarded(std::string_view context, F&& f);

  platform::winamp::MlPlugin* plugin_;
  CShellFolder* folder_ = nullptr;  // counted
  std::vector<Row> rows_;
  int sortColumn_ = 0;
  int sortDirection_ = 1;
  uint32_t textColour_ = 0xFFFFFF;
  uint32_t backColour_ = 0;
};

// --- The plug-in's parts, for the export and for tests ---

// The record the export hands the host, with the module instance written in.
platform::winamp::MlPlugin* WinampMediaLibraryPlugin(void* instance);
int WinampPluginInit();
intptr_t WinampPluginMessageProc(int message, intptr_t param1, intptr_t param2, intptr_t param3);
// The view the last 0x100 made (null when none); tests and the host read it.
CWinampMLDlg* CurrentWinampView();
// Destroys the plug-in's view, as the host does when the user leaves the entry.
void CloseWinampView();

// "Kestro Explorer " and the device label.
std::string WinampTreeTitle(uint32_t deviceNumber, uint32_t modelCode);
std::string WinampStatusText(int count, uint64_t bytes, uint64_t seconds, bool selection);
// The stream address of a track on the manager's web server.
std::string WinampStreamUrl(uint32_t port, uint64_t trackId, std::string_view urlName);
// Column texts of a track row (columns 1 to 7).
std::string WinampCellText(const _AUDIODATA& track, int column);

}  // namespace hub
