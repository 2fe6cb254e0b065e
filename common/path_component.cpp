// Path components from outside values.
#include "common/path_component.h"

#include "common/text.h"

namespace hub {
namespace {

// Removed rather than replaced, so what is left of a value can still be judged.
constexpr std::string_view kRefusedCharacters = "/\\?<>*|\":";

bool OnlyDots(std::string_view text) {
  return !text.empty() && text.find_first_not_of('.') == std::string_view::npos;
}

}  // namespace

std::string CleanPathComponent(std::string_view value, std::string_view placeholder) {
  std::string kept;
  for (char c : value) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || kRefusedCharacters.find(c) != std::string_view::npos) continue;
    kept += c;
  }
  std::string out = TrimWhitespace(kept);
  if (!out.empty() && out.back() == '.') out.pop_back();
  out = TrimWhitespace(out);
  if (out.empty() || OnlyDots(out)) return std::string(placeholder);
  return out;
}

}  // namespace hub
