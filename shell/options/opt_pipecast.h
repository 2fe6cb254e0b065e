// The Pipecast page: the program that plays M3U playlists for this user, the
// registration of further programs, the buffering compensation, and the
// media-library plug-in copies for the four jukebox families.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/options/option_page.h"

namespace hub {

// The library's base name; its plug-in copies are "ml_" + this + code + ".so".
std::string ProductBaseName();
// The host's plug-in folder: the folder of the program its uninstall record
// names + "/Plugins/"; nothing when there is no such record.
std::optional<std::string> PluginFolder();
// The first argument of a command line (quoted or up to the first blank).
std::string FirstArgument(std::string_view commandLine);

// The plug-in families, in order: code, check box, bit of `Vad_InstallResult`.
struct PluginFamily {
  const char* code;
  int control;
  uint32_t bit;
};
inline constexpr PluginFamily kPluginFamilies[] = {
    {"j1", 1150, 0x08}, {"j2", 1109, 0x10}, {"j3", 1110, 0x20}, {"jz", 1111, 0x40}};
inline constexpr uint32_t kPluginIntegrationBit = 0x01000000;

class OptPipecast : public OptionPage {
 public:
  OptPipecast();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

  // What saving would do with the plug-in files: one line a file ("copy X",
  // "delete X"), or why nothing.
  std::vector<std::string> lastPluginActions;

 protected:
  void ExchangeMore(platform::ui::DataExchange& dx) override;
  bool BeforeWrite() override;
  void WriteMore() override;

 private:
  void FillApplications();
  void RegisterApplication();
  void ApplyPluginFiles();
  void ShowPluginBoxes();

  int installed_[4] = {};
  bool boxesChanged_ = false;
  uint32_t installResult_ = 0;
  std::map<std::string, std::string> textToPath_;
  std::map<std::string, std::string> textToName_;
  std::map<std::string, std::string> nameToText_;
};

}  // namespace hub
