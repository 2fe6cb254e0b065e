// Parsing of item paths.
#include "webserver/item_path.h"

#include <limits>

#include "common/records.h"
#include "common/text.h"

namespace hub {
namespace {

std::string LowerExtension(std::string_view name) {
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : AsciiLower(name.substr(dot));
}

bool SafeExtension(std::string_view ext) {
  if (ext.empty()) return true;
  if (ext.size() < 2 || ext.size() > 9) return false;
  for (char c : ext.substr(1)) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

bool ParseItemPath(std::string_view path, std::string_view prefix, ItemPath& out) {
  size_t query = path.find('?');
  if (query != std::string_view::npos) path = path.substr(0, query);
  if (!path.starts_with(prefix)) return false;
  std::string_view rest = path.substr(prefix.size());
  size_t slash = rest.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? std::string_view() : rest.substr(0, slash);
  std::string_view name = slash == std::string_view::npos ? rest : rest.substr(slash + 1);
  uint64_t id = 0;
  bool any = false;
  for (char c : folder) {
    if (c == '/') continue;
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (id > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    id = id * 10 + digit;
    any = true;
  }
  if (!any) return false;
  out.id = id;
  out.name = std::string(name);
  out.extension = LowerExtension(name);
  return SafeExtension(out.extension);
}

int StreamKindOfName(std::string_view name) {
  return GetStreamKindForFileType(GetFileTypeFromExtension(LowerExtension(name)));
}

}  // namespace hub
