// What the desktop knows of installed programs, as the Windows side keeps it
// in HKEY_CLASSES_ROOT: players are registered there the way their
// installers would (Applications\<program>\shell\open\command and the
// friendly name, the ".m3u" file type and its icon), from the XDG desktop
// entries that play M3U playlists and from well-known players on PATH.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace hub::platform {

// HKEY_CLASSES_ROOT: the user's "Software\Classes" over the machine's.
std::optional<RegistryValue> ReadClassesValue(std::string_view key, std::string_view name);
// A string value of the classes (empty when absent or not a string).
std::string ReadClassesString(std::string_view key, std::string_view name);
// Whether the classes hold a key (the user's or the machine's).
bool ClassesKeyExists(std::string_view key);
// The subkeys of a classes key: the user's, then the machine's not already named.
std::vector<std::string> ListClassesSubkeys(std::string_view key);

// %NAME% replaced by the environment's value (an unknown name stays as written).
std::string ExpandEnvironmentStrings(std::string_view text);

// The user's own choice for an extension (".m3u"): the value "Application"
// of the Explorer's FileExts key.
inline constexpr std::string_view kFileExtsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
std::string UserChosenApplication(std::string_view extension);
// The open command of that application (empty without a choice or command).
std::string UserChosenOpenCommand(std::string_view extension);

// One application entry of an XDG data folder.
struct DesktopEntry {
  std::string id;       // the file name ("mpv.desktop")
  std::string name;     // Name
  std::string program;  // the resolved path of Exec's program
  std::vector<std::string> mimeTypes;
};
// Reads an entry; nothing for one that is no usable application (hidden, no
// Exec, a program that is a field code or cannot be found). `searchPath`
// resolves a bare program name.
std::optional<DesktopEntry> ReadDesktopEntry(const std::string& file, const std::string& searchPath);
// The application entries of every XDG data folder ($XDG_DATA_HOME first,
// then $XDG_DATA_DIRS); an id found twice counts once, the first one.
std::vector<DesktopEntry> ListDesktopEntries(const std::string& searchPath);
// A program found on the search path ("" when none).
std::string FindOnPath(std::string_view program, const std::string& searchPath);

// Writes what players' installers write: for each entry that plays M3U and
// for mpv, vlc, audacious and mplayer on PATH, the open command ("<path>"
// "%1") and, for entries, FriendlyCache; the desktop's default for
// audio/x-mpegurl becomes the ".m3u" type with its DefaultIcon. The user's
// "Application" is never written.
void RegisterInstalledPlayers();
// The same at most once per process (before the first look-up).
void RegisterInstalledPlayersOnce();

// What the program's version information says; on this desktop, the Name of
// the desktop entry whose program it is (no product version is known).
struct FileVersionInfo {
  std::string description;
  std::string productVersion;
};
std::optional<FileVersionInfo> GetFileVersionInfo(const std::string& program);

}  // namespace hub::platform
