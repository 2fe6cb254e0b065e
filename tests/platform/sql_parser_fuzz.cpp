// Feeds the SELECT parser arbitrary text: it must parse or refuse, never crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sqlparser/sql_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  hub::platform::SqlParser parser;
  try {
    parser.Parse(text);
  } catch (const hub::platform::SqlSyntaxError&) {
  }
  // Also as a WHERE clause, the way searches build their statements.
  try {
    std::string sql = "SELECT id FROM audio WHERE ";
    sql.append(text);
    parser.Parse(sql);
  } catch (const hub::platform::SqlSyntaxError&) {
  }
  return 0;
}
