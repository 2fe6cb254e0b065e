// Parser of the SELECT subset that the system's searches, lists and report page
// write. It produces the parse tree the SQL engine reads: clause lists and
// expressions as node lists in postfix order, every text as it was written.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hub::platform {

// Node kinds as the engine knows them.
enum SqlNodeKind : int32_t {
  kSqlNodeSelectStar = 1,
  kSqlNodeColumn = 2,
  kSqlNodeArithmetic = 3,
  kSqlNodeLogical = 4,
  kSqlNodeComparison = 5,
  kSqlNodeLiteral = 7,
  kSqlNodeNull = 9,
};

// Statement types; only SELECT is run.
enum SqlStatementType : int32_t {
  kSqlStatementOther = 1,
  kSqlStatementSelect = 2,
  kSqlStatementInsert = 3,
  kSqlStatementUpdate = 4,
  kSqlStatementDelete = 5,
};

struct SqlNode {
  std::string text;
  int32_t kind = 0;
};
using SqlNodeList = std::vector<SqlNode>;

struct SqlColumnRef {
  std::string qualifier;  // table name; empty when the column was written bare
  std::string name;
};

struct SqlSelectItem {
  SqlNodeList expression;  // postfix
  std::string alias;       // empty when none was given
};

struct SqlFromItem {
  std::string name;
};

struct SqlOrderByItem {
  int32_t ascending = 1;  // 0 reverses this key
  SqlColumnRef column;
};

struct SqlStatementTree {
  int32_t distinct = 0;
  std::vector<SqlFromItem> from;
  std::vector<SqlOrderByItem> orderBy;
  SqlNodeList where;
  std::vector<SqlSelectItem> select;
  SqlNodeList secondCondition;        // this grammar has no second condition: always empty
  std::vector<SqlColumnRef> columns;  // every column reference of the select list and WHERE
};

// A text the parser cannot read. `near` is a short excerpt from where reading
// stopped; `offset` its byte offset in the statement.
class SqlSyntaxError : public std::runtime_error {
 public:
  SqlSyntaxError(std::string near, int32_t offset);
  const std::string& near() const { return near_; }
  int32_t offset() const { return offset_; }

 private:
  std::string near_;
  int32_t offset_;
};

// An expression nested deeper than kSqlMaxExpressionDepth: parentheses inside
// parentheses, or operands inside operands. Long chains of one operator are not nesting.
class SqlTooDeepError : public SqlSyntaxError {
 public:
  using SqlSyntaxError::SqlSyntaxError;
};

// Limits that keep hostile text from exhausting the stack or memory.
inline constexpr size_t kSqlMaxStatementBytes = 1 << 20;
inline constexpr int kSqlMaxExpressionDepth = 256;

class SqlParser {
 public:
  // Parses one statement (an optional ";" may end it). A SELECT is read whole;
  // another statement is recognised by its first word and not read further.
  // Throws SqlSyntaxError; a failed parse leaves no statement behind.
  void Parse(std::string_view text);

  int32_t GetStatementType() const { return type_; }
  // The parsed SELECT, shared so it outlives the parser; null for any other statement.
  std::shared_ptr<const SqlStatementTree> GetStatement() const { return statement_; }

 private:
  int32_t type_ = 0;
  std::shared_ptr<const SqlStatementTree> statement_;
};

}  // namespace hub::platform
