// The verb table of hubplat. A verbs_*.cpp file adds its verbs with a static
// VerbRegistration; main walks the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hub::hubplat {

using Args = std::vector<std::string>;  // the words after the verb

struct Verb {
  const char* name;
  const char* usage;    // the words after the verb, as shown in help
  const char* summary;  // one line
  int (*run)(const Args& args);  // exit code; 2 for a usage error
};

void RegisterVerb(const Verb& verb);
const std::vector<Verb>& AllVerbs();

struct VerbRegistration {
  explicit VerbRegistration(const Verb& verb) { RegisterVerb(verb); }
};

// Shared parsing: a number in decimal or 0x hexadecimal (a leading '-'
// allowed for signed values); nothing when the text is not wholly a number.
std::optional<uint64_t> ParseUnsigned(std::string_view text);
std::optional<int64_t> ParseSigned(std::string_view text);
// A window named on the command line: a top-level window of the class, else
// any window of the class, else a handle (0x...) of a live window; 0 when none.
uint32_t FindWindowArg(const std::string& text);
// Prints "hubplat: <text>" to stderr; answers 1 (or the code given).
int Fail(const std::string& text, int code = 1);

}  // namespace hub::hubplat
