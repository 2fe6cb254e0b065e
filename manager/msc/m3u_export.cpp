// Writing the playlist folder: new files first, whole, then the stale ones go,
// so an interrupted export never leaves the player with fewer playlists.
#include "manager/msc/m3u_export.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "common/atomic_file.h"
#include "common/text.h"
#include "platform/fs/attributes.h"

namespace hub {
namespace {

constexpr std::string_view kReserved = "\\/:*?\"<>|";
// The longest file name the player's file system takes is 255 bytes; the
// rewrite's temporary name adds ".tmp", which must fit too.
constexpr size_t kMaxFileNameBytes = 255 - 4;

// `base` + `suffix`, the base cut on a character boundary so that the whole fits
// one file name, and never ending in a blank or a dot where it was cut.
std::string FittedName(const std::string& base, const std::string& suffix) {
  if (base.size() + suffix.size() <= kMaxFileNameBytes) return base + suffix;
  std::string cut = Utf8Cut(base, kMaxFileNameBytes - suffix.size());
  while (!cut.empty() && (cut.back() == '.' || cut.back() == ' ')) cut.pop_back();
  return cut + suffix;
}

}  // namespace

std::string M3uText(const std::vector<M3uEntry>& entries) {
  std::string text = "#EXTM3U\n";
  for (const auto& entry : entries) {
    // The path from the root: the drive ("E:\") is dropped, the separator kept.
    std::string_view path = entry.path;
    std::string_view fromRoot = path.size() >= 3 && path[1] == ':' ? path.substr(3) : path;
    if (!fromRoot.empty() && fromRoot.front() == '\\') fromRoot.remove_prefix(1);
    std::string name = ReplaceAll(ReplaceAll(entry.name, "\r", " "), "\n", " ");
    text += "#EXTINF:" + std::to_string(entry.lengthMs / 1000) + "," + name + "\n\\" + std::string(fromRoot) + "\n";
  }
  return text;
}

std::string SafePlaylistFileName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F || kReserved.find(c) != std::string_view::npos) ? '_' : c;
  }
  out = TrimWhitespace(out);
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  if (out.find_first_not_of('.') == std::string::npos) return "Playlist";
  return out;
}

std::vector<std::string> PlaylistFileNames(const std::vector<std::string>& names) {
  std::vector<std::string> files;
  std::set<std::string> taken;
  for (const auto& name : names) {
    std::string base = SafePlaylistFileName(name);
    std::string file = FittedName(base, ".m3u");
    for (int n = 2; taken.count(FoldCase(file)); ++n) file = FittedName(base, " (" + std::to_string(n) + ").m3u");
    taken.insert(FoldCase(file));
    files.push_back(file);
  }
  return files;
}

std::vector<std::string> ExportM3uFolder(const std::string& nativeFolder, const std::vector<M3uPlaylist>& playlists,
                                         const PlayerTextCodec& codec, const std::function<void()>& step) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(nativeFolder, ec);
  platform::WriteFileAttributes(nativeFolder, platform::kAttributeNormal);

  std::vector<std::string> names;
  for (const auto& playlist : playlists) names.push_back(playlist.name);
  std::vector<std::string> files = PlaylistFileNames(names);

  std::vector<std::string> failed;
  std::set<std::string> kept;
  for (size_t i = 0; i < playlists.size(); ++i) {
    kept.insert(FoldCase(files[i]));
    std::string bytes = WithCrLf(codec.ToPlayer(M3uText(playlists[i].entries)));
    if (!WriteFileAtomically(nativeFolder + "/" + files[i], bytes)) failed.push_back(playlists[i].name);
    if (step) step();
  }

  // Stale files: other playlists, and temporary files of a write that broke off.
  for (fs::directory_iterator it(nativeFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = FoldCase(it->path().filename().string());
    bool playlistFile = name.ends_with(".m3u") || name.find(".m3u.tmp") != std::string::npos;
    if (!playlistFile || kept.count(name)) continue;
    fs::remove(it->path(), typeError);
  }
  return failed;
}

std::string M3uWriteFailedMessage(std::string_view playlistName) {
  return "Could not write .m3u file for playlist '" + std::string(playlistName) + "'.";
}

}  // namespace hub
