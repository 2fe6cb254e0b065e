// "Utility": the database utilities on the player. Import existing content,
// reorganize files, rebuild the database, remove orphans and remove empty
// playlists; one run per dialog, on the UI thread, pumping messages.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/records.h"
#include "platform/ui/ui_window.h"

namespace hub {

class UtilityDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 523;
  enum Command { kImport = 5010, kReorganize = 5020, kRebuild = 5030, kRemoveOrphans = 5040, kRemoveEmptyPlaylists = 5050 };

  UtilityDlg(int command, platform::ui::WindowHandle parent = 0);
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  void OnCancel() override;

  static std::string TitleOf(int command);
  static std::string DescriptionOf(int command, const std::string& name);
  // "file"/"files", "was"/"were" and "it"/"them" by the count.
  static std::string Plural(int count);
  static const char* WasWere(int count);
  static const char* ItThem(int count);

 private:
  // What the scan of the player found that the database does not know.
  struct Scan {
    std::vector<std::string> files;      // player paths
    std::vector<std::string> playlists;  // player paths of ".m3u" files
    uint64_t bytes = 0;
  };

  void Run();
  void Import(bool rebuild);
  void Reorganize();
  void RemoveOrphans();
  void RemoveEmptyPlaylists();
  void Status(const std::string& text);
  void Folder(const std::string& text);
  void File(const std::string& text);
  void Step();
  void Range(int count);
  int Ask(const std::string& question);
  void Tell(const std::string& text);

  // The player's root as the PC sees it; empty (after telling why) when it cannot be reached.
  bool ReachRoot(std::string& playerRoot, std::string& nativeRoot);
  std::vector<KernelId> ReadTracks(std::vector<_AUDIODATA>* records);
  void ScanFolder(const std::string& playerFolder, const std::string& nativeFolder,
                  const std::map<std::string, bool>& knownFiles, const std::map<std::string, bool>& knownPlaylists,
                  Scan& scan, int& seen);
  int ImportPlaylist(const std::string& playerPath, const std::map<std::string, KernelId>& byPath);

  int command_;
  bool busy_ = false;
  bool done_ = false;
};

}  // namespace hub
