// Names of the playlists a transfer makes of the folders it sent.
#include "shell/transfer/transfer_playlists.h"

#include "common/text.h"

namespace hub {

std::string AutoPlaylistName(std::string_view group) {
  std::string name(group);
  if (!name.empty() && name.back() == '/') name.pop_back();
  while (!name.empty() && name.front() == '/') name.erase(0, 1);  // an absolute folder reads from its first name
  std::string out;
  for (char c : name) out += c == '/' ? std::string(" - ") : std::string(1, c);
  return TrimWhitespace(out);
}

}  // namespace hub
