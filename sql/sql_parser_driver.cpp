// Drives the parser and turns its refusals into the engine's exceptions.
#include "sql/sql_parser_driver.h"

#include "sql/sql_exception.h"

namespace hub {

const platform::SqlStatementTree& CSqlStatementDriver::Empty() {
  static const platform::SqlStatementTree kEmpty;
  return kEmpty;
}

void CSqlParserDriver::Parse(std::string_view text) {
  try {
    parser_.Parse(text);
  } catch (const platform::SqlTooDeepError& e) {
    throw CKestroSQLExpressionTooDeepException(e.near(), e.offset());
  } catch (const platform::SqlSyntaxError& e) {
    throw CKestroSQLSyntaxException(e.near(), e.offset());
  }
}

}  // namespace hub
