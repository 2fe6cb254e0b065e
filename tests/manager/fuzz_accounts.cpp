// Fuzz target: the account file reader never fails on any input, and what it
// reads is written back so that it reads the same again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "manager/options/option_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto accounts = hub::ParseAccounts(text);
  if (hub::ParseAccounts(hub::FormatAccounts(accounts)) != accounts) std::abort();
  return 0;
}
