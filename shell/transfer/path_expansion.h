// Expansion of the paths a user sends to the player (files, folders,
// playlists, shortcuts) into the flat file list the transfer copies, with the
// group each file came from and the two reports of what was done and why.
// Runs on the caller's thread; pumps messages once per folder.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shell/namespace/report_files.h"

namespace hub {

class CDeleteDialog;

// Group name (a folder relative to the transfer root, or a playlist's name)
// to its files in the order met. Kept as a list, so a "|" inside a file name
// never splits a path; GroupText gives the "|"-joined form where one is shown.
using TransferGroups = std::map<std::string, std::vector<std::string>>;
std::string GroupText(const std::vector<std::string>& paths);  // "a|b|"

// Folders entered more deeply than this are not followed.
inline constexpr int kMaxExpansionDepth = 64;

// The whole expansion: logs, expands, sorts when `sort` (case-folded UTF-8),
// appends to `files` and lists every file in `list`. `reserved` is unused.
void BuildTransferFileList(TempFile& log, TempFile& list, const std::vector<std::string>& inputs,
                           std::vector<std::string>& files, TransferGroups& groups, int reserved, bool sort,
                           bool audioOnly);

// The transfer root of the first input: its folder with a trailing "/"
// ("/m/Album/x.mp3" and the folder "/m/Album" both give "/m/").
std::string TransferRoot(std::string_view firstInput);
// The group of a file's folder ("/m/Album/" under the root "/m/" is "Album/";
// a folder outside the root is its whole path).
std::string GroupKeyOf(std::string_view folder, std::string_view root);

// The entries of a playlist text of the type `extension` (".m3u", ".pls",
// ".bpl", ".b4s", ".wpl", ".rmp"), in order; `log` receives the lines the
// types write of their own. Malformed lines are skipped.
std::vector<std::string> ReadPlaylistEntries(std::string_view text, std::string_view extension,
                                             std::vector<std::string>* logLines = nullptr);
bool IsPlaylistExtension(std::string_view lowerExtension);

class PathExpansion {
 public:
  PathExpansion(TempFile& log, std::string root, std::vector<std::string>& found, TransferGroups& groups,
                bool audioOnly, CDeleteDialog* progress);
  void ExpandPath(int depth, const std::vector<std::string>& paths, bool recurse);
  void ExpandFile(int depth, const std::string& path, bool recurse);

 private:
  void ExpandPlaylist(int depth, const std::string& path, const std::string& extension);
  void Add(const std::string& path, const std::string& group);
  bool Entered(const std::string& folder);
  bool WasEntered(const std::string& folder) const;

  TempFile& log_;
  std::string root_;
  std::vector<std::string>& found_;
  TransferGroups& groups_;
  bool audioOnly_;
  CDeleteDialog* progress_;
  int position_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> entered_;  // (device, inode) of folders listed
};

}  // namespace hub
