// hubplat: lists the user's windows and sends them messages, as a person
// would have used the mouse and Spy tools on the original platform.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "verbs.h"
#include "platform/program_main.h"

namespace hub::hubplat {

namespace {
std::vector<Verb>& VerbTable() {
  static std::vector<Verb> verbs;  // filled by static registrations, before main
  return verbs;
}
}  // namespace

void RegisterVerb(const Verb& verb) { VerbTable().push_back(verb); }
const std::vector<Verb>& AllVerbs() { return VerbTable(); }

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0') return std::nullopt;
  return v;
}

std::optional<int64_t> ParseSigned(std::string_view text) {
  if (!text.empty() && text[0] == '-') {
    auto v = ParseUnsigned(text.substr(1));
    if (!v || *v > static_cast<uint64_t>(INT64_MAX) + 1) return std::nullopt;
    return static_cast<int64_t>(0 - *v);
  }
  auto v = ParseUnsigned(text);
  if (!v) return std::nullopt;
  return static_cast<int64_t>(*v);  // large hex values keep their bits
}

int Fail(const std::string& text, int code) {
  std::fprintf(stderr, "hubplat: %s\n", text.c_str());
  return code;
}

namespace {

int Help() {
  std::printf("usage: hubplat <verb> [arguments]\n\n");
  for (const Verb& v : AllVerbs()) std::printf("  %s %s\n      %s\n", v.name, v.usage, v.summary);
  return 0;
}

}  // namespace
}  // namespace hub::hubplat

static int Main(int argc, char** argv) {
  using namespace hub::hubplat;
  if (argc < 2 || !std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))
    return argc < 2 ? (Help(), 2) : Help();
  Args args(argv + 2, argv + argc);
  for (const Verb& v : AllVerbs())
    if (v.name == std::string_view(argv[1])) {
      int rc = v.run(args);
      if (rc == 2) std::fprintf(stderr, "usage: hubplat %s %s\n", v.name, v.usage);
      return rc;
    }
  return Fail(std::string("unknown verb '") + argv[1] + "' (try: hubplat help)", 2);
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
