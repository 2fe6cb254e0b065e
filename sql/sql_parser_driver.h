// The engine's view of the parser: drives it and reads the parsed statement.
// The statement object shares ownership of its tree, so it stays valid after
// the parser is gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sqlparser/sql_parser.h"

namespace hub {

using platform::SqlColumnRef;
using platform::SqlFromItem;
using platform::SqlNode;
using platform::SqlNodeList;
using platform::SqlOrderByItem;
using platform::SqlSelectItem;

class CSqlStatementDriver {
 public:
  CSqlStatementDriver() = default;
  explicit CSqlStatementDriver(std::shared_ptr<const platform::SqlStatementTree> tree) : tree_(std::move(tree)) {}

  bool IsValid() const { return tree_ != nullptr; }
  int32_t IsDistinct() const { return tree_ ? tree_->distinct : 0; }
  const std::vector<SqlFromItem>& GetFromList() const { return tree_ ? tree_->from : Empty().from; }
  const std::vector<SqlOrderByItem>& GetOrderByList() const { return tree_ ? tree_->orderBy : Empty().orderBy; }
  const SqlNodeList& GetWhere() const { return tree_ ? tree_->where : Empty().where; }
  const std::vector<SqlSelectItem>& GetSelectList() const { return tree_ ? tree_->select : Empty().select; }
  const SqlNodeList& GetSecondCondition() const { return tree_ ? tree_->secondCondition : Empty().secondCondition; }
  const std::vector<SqlColumnRef>& GetColumnList() const { return tree_ ? tree_->columns : Empty().columns; }

 private:
  static const platform::SqlStatementTree& Empty();
  std::shared_ptr<const platform::SqlStatementTree> tree_;
};

class CSqlParserDriver {
 public:
  // Throws CKestroSQLSyntaxException with the text near the error and its offset.
  void Parse(std::string_view text);
  int32_t GetStatementType() const { return parser_.GetStatementType(); }
  CSqlStatementDriver GetStatement() const { return CSqlStatementDriver(parser_.GetStatement()); }

 private:
  platform::SqlParser parser_;
};

}  // namespace hub
