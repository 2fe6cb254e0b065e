// sbxdump: prints a player database file (header, tracks, playlists) as text.
// Exit status: 0 read cleanly, 1 read but damaged, 2 unreadable or bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/utf16.h"
#include "manager/shoebox/shoebox.h"
#include "manager/shoebox/shoebox_dump.h"
#include "platform/program_main.h"

static int Main(int argc, char** argv) {
  std::string base;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--base") == 0 && i + 1 < argc) {
      base = argv[++i];
    } else if (argv[i][0] == '-' || file) {
      std::fprintf(stderr,
                   "usage: sbxdump [--base FOLDER] FILE\n"
                   "  FOLDER: the player root the track paths are relative to, e.g. 'E:\\' (default: none)\n");
      return 2;
    } else {
      file = argv[i];
    }
  }
  if (!file) {
    std::fprintf(stderr, "usage: sbxdump [--base FOLDER] FILE\n");
    return 2;
  }
  hub::Shoebox db;
  db.Load(nullptr, nullptr, file, hub::Utf8ToUtf16(base));
  std::fputs(hub::DumpShoebox(db).c_str(), stdout);
  const hub::ShoeboxLoadReport& load = db.LastLoad();
  if (!load.fileRead) return 2;
  return load.clean ? 0 : 1;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
