// Expansion of sent paths into the transfer file list, and the playlist readers.
#include "shell/transfer/path_expansion.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/ui/progress_dialogs.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace {

constexpr size_t kMaxPlaylistBytes = 16 << 20;
constexpr const char* kLoopText = "Following this shortcut would produce an infinite loop...skipping.";

std::string FolderOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string LowerExtension(std::string_view path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : AsciiLower(name.substr(dot));
}

std::string StemOf(std::string_view path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Unescape(std::string text) {
  for (auto [from, to] : {std::pair<std::string_view, std::string_view>{"&amp;", "&"}, {"&apos;", "'"}}) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
      text.replace(at, from.size(), to);
  }
  return text;
}

bool ReadWholeText(const std::string& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= kMaxPlaylistBytes;
  char buf[65536];
  for (ssize_t n; ok && (n = ::read(fd, buf, sizeof buf)) > 0;) {
    text.append(buf, static_cast<size_t>(n));
    ok = text.size() <= kMaxPlaylistBytes;
  }
  ::close(fd);
  return ok;
}

}  // namespace

std::string GroupText(const std::vector<std::string>& paths) {
  std::string text;
  for (const auto& p : paths) text += p + "|";
  return text;
}

std::string TransferRoot(std::string_view firstInput) {
  std::string path(firstInput);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return FolderOf(path);
}

std::string GroupKeyOf(std::string_view folder, std::string_view root) {
  if (!root.empty() && folder.substr(0, root.size()) == root) return std::string(folder.substr(root.size()));
  return std::string(folder);
}

bool IsPlaylistExtension(std::string_view lowerExtension) {
  for (std::string_view e : {".m3u", ".pls", ".bpl", ".b4s", ".wpl", ".rmp"})
    if (lowerExtension == e) return true;
  return false;
}

std::vector<std::string> ReadPlaylistEntries(std::string_view text, std::string_view extension,
                                             std::vector<std::string>* logLines) {
  std::vector<std::string> entries;
  auto add = [&](std::string entry, std::string logLine) {
    entries.push_back(std::move(entry));
    if (logLines) logLines->push_back(std::move(logLine));
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line = TrimWhitespace(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string lower = AsciiLower(line);
    if (extension == ".pls") {
      if (lower.compare(0, 4, "file") != 0) continue;
      size_t eq = line.find('=');
      add(eq == std::string::npos ? line : line.substr(eq + 1), {});
    } else if (extension == ".bpl" || extension == ".b4s") {
      constexpr std::string_view kTag = "playstring=\"file:";
      size_t at = lower.find(kTag);
      if (at == std::string::npos) continue;
      std::string rest = TrimWhitespace(line.substr(at + kTag.size()));
      // The closing quote and bracket end the entry; a line without them is skipped.
      if (rest.size() < 2 || rest.compare(rest.size() - 2, 2, "\">") != 0) continue;
      add(rest.substr(0, rest.size() - 2), {});
    } else if (extension == ".wpl") {
      size_t at = lower.find("media src=");
      if (at == std::string::npos || at + 11 > line.size()) continue;
      size_t close = line.find('"', at + 11);
      if (close == std::string::npos) continue;
      std::string entry = Unescape(line.substr(at + 11, close - at - 11));
      add(entry, entry + "\n");
    } else if (extension == ".rmp") {
      size_t at = lower.find("<filename>");
      if (at == std::string::npos) continue;
      size_t close = lower.find("</filename>", at + 10);
      if (close == std::string::npos) continue;
      std::string entry = Unescape(line.substr(at + 10, close - at - 10));
      add(entry, "\n" + entry);
    } else {
      add(line, {});
    }
  }
  return entries;
}

PathExpansion::PathExpansion(TempFile& log, std::string root, std::vector<std::string>& found,
                             TransferGroups& groups, bool audioOnly, CDeleteDialog* progress)
    : log_(log), root_(std::move(root)), found_(found), groups_(groups), audioOnly_(audioOnly), progress_(progress) {}

void PathExpansion::Add(const std::string& path, const std::string& group) {
  found_.push_back(path);
  groups_[group].push_back(path);
}

bool PathExpansion::WasEntered(const std::string& folder) const {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return false;
  return std::find(entered_.begin(), entered_.end(), std::pair<uint64_t, uint64_t>{st.st_dev, st.st_ino}) !=
         entered_.end();
}

// Remembers a folder about to be listed; false when it was listed before.
bool PathExpansion::Entered(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return true;
  if (WasEntered(folder)) return false;
  entered_.emplace_back(st.st_dev, st.st_ino);
  return true;
}

void PathExpansion::ExpandPath(int depth, const std::vector<std::string>& paths, bool recurse) {
  for (const std::string& path : paths) {
    std::string line = "Processing " + path + "...";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      log_.WriteString(line + "invalid path...skipped.");
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      log_.WriteString(line + "file...processing.");
      ExpandFile(depth, path, recurse);
      continue;
    }
    if (progress_) {
      progress_->SetStatus(path);
      if (++position_ >= 100) {
        position_ = 0;
        if (auto* bar = progress_->Bar()) bar->SetPos(0);
      } else {
        progress_->Step();
      }
    }
    PumpMessages();
    line += "directory...";
    if (!recurse || SettingDword("Gen_Tx_DisableRecursion", 0) != 0) {
      log_.WriteString(line + "recursion disabled...skipped.");
      continue;
    }
    if (depth + 1 > kMaxExpansionDepth || !Entered(path)) {
      log_.WriteString(line + kLoopText);
      continue;
    }
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
      log_.WriteString(line + "could not read contents...skipping.");
      continue;
    }
    std::vector<std::string> entries;
    std::string prefix = path.back() == '/' ? path : path + "/";
    while (dirent* e = ::readdir(dir)) {
      std::string_view name = e->d_name;
      if (name != "." && name != "..") entries.push_back(prefix + std::string(name));
    }
    ::closedir(dir);
    // Name order, ignoring case: the listing's own order is arbitrary.
    std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
      int c = CompareNoCase(a, b);
      return c != 0 ? c < 0 : a < b;
    });
    log_.WriteString(line + "contains " + std::to_string(entries.size()) + " items...recursively processing.");
    ExpandPath(depth + 1, entries, recurse);
  }
}

void PathExpansion::ExpandFile(int depth, const std::string& path, bool recurse) {
  std::string extension = LowerExtension(path);
  if (IsPlaylistExtension(extension)) {
    ExpandPlaylist(depth, path, extension);
    return;
  }
  std::string target = ResolveShortcut(path);
  if (!target.empty()) {
    std::string line = "File is a shortcut...resolved to " + target + ".\n";
    if (IsFolder(target)) {
      if (target.find(root_) != std::string::npos || root_.find(target) != std::string::npos || WasEntered(target) ||
          depth + 1 > kMaxExpansionDepth) {
        log_.WriteString(line + kLoopText + "\n");
        return;
      }
    }
    log_.WriteString(line);
    ExpandPath(depth + 1, {target}, recurse);
    return;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    log_.WriteString("Invalid path...skipping.");
    return;
  }
  std::string reason;
  if (!IsTransferable(path)) {
    if (SettingDword("Gen_Tx_SkipData", 0) != 0) reason = "only picking audio files...skipping.";
  } else {
    std::string upper = AsciiUpper(extension.empty() ? extension : extension.substr(1));
    if (SettingDword("Gen_Tx_Skip" + upper, 0) != 0) reason = upper + " files ignored.";
  }
  if (reason.empty()) {
    // Non-blocking, so a FIFO or device never stalls the expansion; only regular files go.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat opened {};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
      reason = "File could not be accessed...skipping.";
    else if (opened.st_size == 0)
      reason = "File contains 0 bytes...skipping.";
    if (fd >= 0) ::close(fd);
  }
  if (!reason.empty()) {
    log_.WriteString(reason);
    return;
  }
  Add(path, GroupKeyOf(FolderOf(path), root_));
  log_.WriteString("File exists...added to filelist.");
}

void PathExpansion::ExpandPlaylist(int depth, const std::string& path, const std::string& extension) {
  std::string line = "File is a playlist...";
  if (audioOnly_) {
    log_.WriteString(line + "only picking audio files...skipping.");
    return;
  }
  if (depth > 0) {
    log_.WriteString(line + "depth is greater than 0...skipping.");
    return;
  }
  std::string text;
  if (!ReadWholeText(path, text)) {
    log_.WriteString(line + "could not open...skipping.");
    return;
  }
  log_.WriteString(line + "opened...processing.");
  std::vector<std::string> logLines;
  std::vector<std::string> entries = ReadPlaylistEntries(text, extension, &logLines);
  std::string folder = FolderOf(path), group = StemOf(path);
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (!logLines[i].empty()) log_.WriteString(logLines[i]);
    log_.WriteString("Path: " + entry + ".");
    if (entry.compare(0, 2, "\\\\") == 0) {
      log_.WriteString("Invalid UNC path...skipping.");
      continue;
    }
    if (entry.size() >= 2 && entry[1] == ':' && std::isalpha(static_cast<unsigned char>(entry[0]))) {
      log_.WriteString("Invalid path...skipping.");  // a drive letter names nothing here
      continue;
    }
    std::string slashed = entry;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    std::string result = "Invalid path...skipping.";
    for (const std::string& candidate : {entry, slashed}) {
      if (candidate.empty()) continue;
      // Entries must name regular files: a folder would be sent as a data file.
      if (candidate[0] == '/') {
        if (IsRegularFile(candidate)) {
          Add(candidate, group);
          result = "Fully-qualifed path...added to filelist.";
          break;
        }
      } else if (IsRegularFile(folder + candidate)) {
        Add(folder + candidate, group);
        result = "Relative path...added to filelist using root " + folder + ".";
        break;
      }
    }
    log_.WriteString(result);
  }
  log_.WriteString("Done with playlist...closing.");
}

void BuildTransferFileList(TempFile& log, TempFile& list, const std::vector<std::string>& inputs,
                           std::vector<std::string>& files, TransferGroups& groups, int /*reserved*/, bool sort,
                           bool audioOnly) {
  platform::ui::WaitCursor wait;
  int folders = 0;
  for (const auto& input : inputs) {
    struct stat st {};
    if (::lstat(input.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) || !ResolveShortcut(input).empty()) ++folders;
  }
  log.WriteString(std::to_string(folders) + " directories detected at top-level.");
  log.WriteString("Recursion enabled.");
  std::vector<std::string> scratch;
  if (!inputs.empty()) {
    std::string root = TransferRoot(inputs.front());
    log.WriteString("Transfer rooted at: " + root + ".");
    CDeleteDialog progress;
    progress.Begin("Building file list...", 100);
    PathExpansion expansion(log, root, scratch, groups, audioOnly, &progress);
    expansion.ExpandPath(0, inputs, true);
    progress.End();
    if (sort) {
      std::stable_sort(scratch.begin(), scratch.end(), [](const std::string& a, const std::string& b) {
        return CompareNoCase(a, b) < 0;
      });
    }
  }
  for (auto& path : scratch) {
    list.WriteString(path);
    files.push_back(std::move(path));
  }
  log.WriteString(std::to_string(files.size()) + " files added to filelist.");
}

}  // namespace hub
