// Feeds the whole engine arbitrary statements over a small player: each must
// run or fail with an SQL exception, and its result must render in every form.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "sql/result_rendering.h"
#include "sql/sql_exception.h"
#include "sql_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static hub::test::MemoryJukebox device = hub::test::SmallJukebox();
  std::string text(reinterpret_cast<const char*>(data), size);
  // Half the inputs as WHERE clauses of a join, so evaluation is reached often.
  std::string sql = size % 2 == 0 ? text : "SELECT * FROM playlist, plitem, audio WHERE " + text;
  hub::CTableSourceJukebox source(&device);
  hub::CResultTable result;
  try {
    hub::RunSelectStatement(sql, source, result);
  } catch (const hub::CKestroSQLException&) {
    return 0;
  }
  for (char mode : {'c', 't', 'h', 'x'}) {
    std::ostringstream out;
    std::vector<std::string> names;
    hub::RenderResultAsMarkup(result, mode, out, names, sql);
  }
  return 0;
}
