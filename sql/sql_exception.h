// The SQL engine's exception family: one class and one fixed message per
// failure, with a detail text and a detail number that say where.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace hub {

class CKestroSQLException : public std::exception {
 public:
  explicit CKestroSQLException(std::string detailText = {}, int32_t detailNumber = 0)
      : detailText_(std::move(detailText)), detailNumber_(detailNumber) {}

  // The class's fixed message.
  virtual const char* Message() const noexcept = 0;
  // Message, "\n\n", detail text, "\n", detail number.
  std::string GetMessageText() const;

  const char* what() const noexcept override { return Message(); }
  const std::string& detailText() const { return detailText_; }
  int32_t detailNumber() const { return detailNumber_; }

 private:
  std::string detailText_;
  int32_t detailNumber_;
};

#define HUB_SQL_EXCEPTION(Name, text)                                \
  class Name : public CKestroSQLException {                          \
   public:                                                           \
    using CKestroSQLException::CKestroSQLException;                  \
    const char* Message() const noexcept override { return text; }   \
  }

HUB_SQL_EXCEPTION(CKestroSQLExpressionStackUnderflowException, "Stack underflow while processing expression.");
HUB_SQL_EXCEPTION(CKestroSQLNoSuchColumnException, "No such column.");
HUB_SQL_EXCEPTION(CKestroSQLNoSuchFieldException, "No such field.");
HUB_SQL_EXCEPTION(CKestroSQLBadSelectExpressionException, "Bad select expression.");
HUB_SQL_EXCEPTION(CKestroSQLSortException, "Sort failed.");
HUB_SQL_EXCEPTION(CKestroSQLBadJoinRowFieldException, "Bad join row field.");
HUB_SQL_EXCEPTION(CKestroSQLJoinRowUnderflowException, "Join row underflow.");
HUB_SQL_EXCEPTION(CKestroSQLJoinRowException, "Join row failed.");
HUB_SQL_EXCEPTION(CKestroSQLNoSuchTableException, "No such table.");
HUB_SQL_EXCEPTION(CKestroSQLNoTablesSpecifiedException, "No tables specified.");
HUB_SQL_EXCEPTION(CKestroSQLBadResultRowException, "Bad result row.");
HUB_SQL_EXCEPTION(CKestroSQLBadJoinTableException, "Bad join table.");
// Raised by the parser: detail text is the statement near the error, the number its offset.
HUB_SQL_EXCEPTION(CKestroSQLSyntaxException, "Syntax error.");
// An expression tree deeper than the engine evaluates without risk to its stack.
HUB_SQL_EXCEPTION(CKestroSQLExpressionTooDeepException, "Expression too deep.");
// More result rows than the row limit allows; the detail names the setting and the limit.
HUB_SQL_EXCEPTION(CKestroSQLTooManyRowsException, "Too many rows.");

#undef HUB_SQL_EXCEPTION

}  // namespace hub
