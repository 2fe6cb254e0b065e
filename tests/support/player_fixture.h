// A desktop made in a temporary folder: programs on a private PATH, desktop
// entries in private XDG data folders and the default application for M3U
// playlists, with the environment restored afterwards.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "support/hermetic_env.h"

namespace hub::test {

class PlayerFixture {
 public:
  PlayerFixture() : dir_(MakeTempDir("desktop")) {
    for (const char* sub : {"/bin", "/data/applications", "/config", "/system"}) std::filesystem::create_directories(dir_ + sub);
    // xdg-mime itself and the tools it runs stay reachable; no player lives there in a test machine's image
    // that matters, since players found on PATH are only named when the user chose them.
    Set("PATH", dir_ + "/bin:/usr/bin:/bin");
    Set("XDG_DATA_HOME", dir_ + "/data");
    Set("XDG_DATA_DIRS", dir_ + "/system");
    Set("XDG_CONFIG_HOME", dir_ + "/config");
    Set("XDG_CONFIG_DIRS", dir_ + "/config");
    Set("XDG_CURRENT_DESKTOP", "");
    Set("DISPLAY", "");
    Set("WAYLAND_DISPLAY", "");
  }
  ~PlayerFixture() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
  PlayerFixture(const PlayerFixture&) = delete;
  PlayerFixture& operator=(const PlayerFixture&) = delete;

  const std::string& Dir() const { return dir_; }
  // An executable in the private PATH; `body` is its shell script.
  std::string Program(const std::string& name, const std::string& body = "exit 0") {
    std::string path = dir_ + "/bin/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // A desktop entry file with these lines after its group header.
  void Entry(const std::string& id, const std::string& lines) {
    std::ofstream(dir_ + "/data/applications/" + id) << "[Desktop Entry]\nType=Application\n" << lines;
  }
  void DefaultForPlaylists(const std::string& id) {
    std::ofstream(dir_ + "/config/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=" << id << "\n";
  }

 private:
  void Set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value.empty()) ::unsetenv(name.c_str());
    else ::setenv(name.c_str(), value.c_str(), 1);
  }
  std::string dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace hub::test
