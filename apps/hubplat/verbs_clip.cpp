// The clipboard verb of hubplat: plays the computer's file manager copying
// files, shows what the user's clipboard holds, or takes the desktop's copy.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "verbs.h"
#include "platform/shell/clipboard.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"

namespace hub::hubplat {
namespace {

using namespace hub::platform;
namespace fs = std::filesystem;

int CopyFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> absolute;
  for (const auto& p : paths) {
    std::error_code ec;
    fs::path full = fs::absolute(p, ec);
    if (ec || !fs::exists(full, ec)) return Fail("no such file: " + p);
    absolute.push_back(full.lexically_normal().string());
  }
  Status s = WriteClipboard({StoredFormat{CF_HDROP, BuildDropFiles(absolute)}});
  if (!s.ok()) return Fail(s.message());
  std::printf("%zu file%s on the clipboard\n", absolute.size(), absolute.size() == 1 ? "" : "s");
  return 0;
}

int Show() {
  Status error;
  auto formats = ReadClipboard(&error);
  if (!formats) return Fail(error.message());
  if (formats->empty()) std::printf("the clipboard is empty\n");
  for (const auto& f : *formats) {
    if (f.format == CF_HDROP) {
      auto paths = ParseDropFiles(f.bytes.data(), f.bytes.size());
      if (!paths) {
        std::printf("CF_HDROP (15): %zu bytes, not a valid file list\n", f.bytes.size());
        continue;
      }
      std::printf("CF_HDROP (15): %zu file%s\n", paths->size(), paths->size() == 1 ? "" : "s");
      for (const auto& p : *paths) std::printf("  %s\n", p.c_str());
    } else {
      std::printf("format 0x%04X: %zu bytes\n", f.format, f.bytes.size());
    }
  }
  return 0;
}

// The desktop's copy as text/uri-list, through wl-paste or xclip.
int FromDesktop() {
  const char* command = nullptr;
  if (std::getenv("WAYLAND_DISPLAY")) command = "wl-paste --no-newline --type text/uri-list 2>/dev/null";
  else if (std::getenv("DISPLAY")) command = "xclip -selection clipboard -t text/uri-list -o 2>/dev/null";
  if (!command) return Fail("no desktop: neither WAYLAND_DISPLAY nor DISPLAY is set");
  FILE* pipe = ::popen(command, "r");
  if (!pipe) return Fail("cannot run the desktop's clipboard tool");
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0 && text.size() < (size_t(16) << 20)) text.append(buf, n);
  int rc = ::pclose(pipe);
  if (rc != 0) return Fail("the desktop's clipboard holds no file list (or wl-paste/xclip is missing)");
  std::vector<std::string> rejected;
  std::vector<std::string> paths = PathsFromUriList(text, &rejected);
  for (const auto& r : rejected) std::fprintf(stderr, "hubplat: not a local file, left out: %s\n", r.c_str());
  if (paths.empty()) return Fail("the desktop's clipboard holds no local files");
  return CopyFiles(paths);
}

int Clip(const Args& args) {
  if (args.empty()) return 2;
  if (args[0] == "files" && args.size() >= 2) return CopyFiles({args.begin() + 1, args.end()});
  if (args[0] == "show" && args.size() == 1) return Show();
  if (args[0] == "from-desktop" && args.size() == 1) return FromDesktop();
  return 2;
}

const VerbRegistration kClip{{"clip", "files <paths...> | show | from-desktop",
                              "copies files to the user's clipboard as a file manager does, shows it, takes the "
                              "desktop's copied files",
                              Clip}};

}  // namespace
}  // namespace hub::hubplat
