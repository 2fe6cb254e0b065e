// The player's name: the user's chosen application, else the program of the
// ".m3u" type, named by its friendly name or its version information.
#include "shell/namespace/installed_players.h"

#include <sys/stat.h>

#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/shell/installed_programs.h"
#include "shell/namespace/namespace_listing.h"

namespace hub {
namespace {

constexpr const char* kFixedPlayers[] = {"Winamp 5",           "Winamp 3",
                                         "dBPowerAMP",         "RealOne/RealPlayer",
                                         "MusicMatch Jukebox", "Windows Media Player",
                                         "Media Jukebox"};
constexpr size_t kMaxPathText = 260;

bool IsPlainFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The environment's values put in, cut to a path's length.
std::string ExpandEnvironment(std::string_view text) {
  return Utf8Cut(platform::ExpandEnvironmentStrings(text), kMaxPathText);
}

}  // namespace

std::string FindInstalledPlayers() {
  int mode = GetPlayOnComputerMode();
  if (mode >= kPlayModeWinamp5 && mode <= kPlayModeMediaJukebox) return kFixedPlayers[mode - kPlayModeWinamp5];
  platform::RegisterInstalledPlayersOnce();
  std::string program, name;
  std::string app = platform::UserChosenApplication(".m3u");
  if (!app.empty()) {
    std::string command = platform::UserChosenOpenCommand(".m3u");
    for (const std::string& arg : SplitParameters(command)) {
      std::string path = ExpandEnvironment(arg);
      if (IsPlainFile(path)) {
        program = path;
        break;
      }
    }
    name = platform::ReadClassesString("Applications\\" + app + "\\shell", "FriendlyCache");
  } else {
    std::string type = platform::ReadClassesString(".m3u", "");
    if (!type.empty() && type.find('\\') == std::string::npos) {
      std::string icon = platform::ReadClassesString(type + "\\DefaultIcon", "");
      program = icon.substr(0, icon.find(','));
    }
  }
  if (name.empty() && !program.empty()) {
    auto info = platform::GetFileVersionInfo(program);
    if (info && !info->description.empty()) {
      name = info->description;
      std::string version = info->productVersion.substr(0, info->productVersion.find('.'));
      if (!version.empty()) name += " " + version;
    } else {
      name = program.substr(program.find_last_of("/\\") + 1);
    }
  }
  name = TrimWhitespace(name);
  return name.empty() ? "Playback Software" : name;
}

}  // namespace hub
