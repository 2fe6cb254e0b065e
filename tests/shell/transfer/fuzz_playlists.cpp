// Fuzz target: the playlist readers of every type, the staging file's line
// splitter and the launcher's argument splitter. The first byte picks the
// reader; the rest is the text, as a file or command line would hold it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/transfer/path_expansion.h"
#include "shell/transfer/send_to.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr std::string_view kTypes[] = {".m3u", ".pls", ".bpl", ".b4s", ".wpl", ".rmp"};
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  unsigned pick = data[0] % 8;
  if (pick < 6) {
    std::vector<std::string> log;
    auto entries = hub::ReadPlaylistEntries(text, kTypes[pick], &log);
    // Every entry comes from one line of the text, so none can be longer than it.
    for (const auto& e : entries)
      if (e.size() > text.size()) std::abort();
  } else if (pick == 6) {
    for (const auto& line : hub::SplitStagingLines(text))
      if (line.size() > text.size() || line.find('\n') != std::string::npos) std::abort();
  } else {
    for (const auto& arg : hub::SplitSendToArguments(text))
      if (arg.size() > text.size()) std::abort();
  }
  return 0;
}
