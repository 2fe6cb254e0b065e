// A stand-in for the Audible file-information library: answers for files
// whose name ends in "good.aa", fails for the rest.
#include <cstring>
#include <string>

#include "shell/transfer/metadata/audible_info.h"

extern "C" int AudibleGetFileInfoWindows(const char* path, hub::metadata::AudibleFileInfo* info) {
  std::string p(path);
  if (p.size() < 7 || p.compare(p.size() - 7, 7, "good.aa") != 0) return 1;
  info->lengthMs = 3723000;
  info->bitsPerSecond = 32000;
  info->sampleRate = 22050;
  std::strcpy(info->title, "Book Title");
  std::strcpy(info->author, "Book Author");
  std::memset(info->description, 'd', sizeof info->description);  // unterminated on purpose
  return 0;
}
