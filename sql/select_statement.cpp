// Preparing and executing SELECT statements.
#include "sql/select_statement.h"

#include <algorithm>
#include <climits>
#include <unordered_set>

#include "sql/join_plan.h"

#include "sql/row.h"
#include "sql/sql_exception.h"

namespace hub {

CSelectStatement::CSelectStatement(std::string_view text, CSqlStatementDriver statement, CTableSource* source)
    : CSQLStatement(text), statement_(std::move(statement)), source_(source) {}

void CSelectStatement::Prepare() {
  distinct_ = statement_.IsDistinct();
  const auto& items = statement_.GetSelectList();
  for (size_t i = 0; i < items.size(); ++i) {
    std::unique_ptr<CExpItem> expression = BuildExpression(items[i].expression);
    // An item without an expression has neither a value nor a name.
    if (!expression) throw CKestroSQLBadSelectExpressionException({}, static_cast<int32_t>(i));
    bool star = expression->kind() == kExpSelectStar;
    std::string name;
    if (!star) name = items[i].alias.empty() ? expression->GetSqlText() : items[i].alias;
    selectExpressions_.push_back(std::move(expression));
    selectNames_.push_back(std::move(name));
    if (star) break;  // items after "*" are not read
  }
  for (const SqlFromItem& from : statement_.GetFromList()) fromNames_.push_back(from.name);
  where_ = BuildExpression(statement_.GetWhere());
  for (const SqlColumnRef& ref : statement_.GetColumnList()) columnReferences_.push_back(ref.qualifier + "." + ref.name);
  secondCondition_ = BuildExpression(statement_.GetSecondCondition());
  for (const SqlOrderByItem& item : statement_.GetOrderByList()) {
    orderByAscending_.push_back(static_cast<uint32_t>(item.ascending));
    orderByNames_.push_back(item.column.qualifier.empty() ? item.column.name : item.column.qualifier + "." + item.column.name);
  }
}

void CSelectStatement::Execute(CResultTable& result) {
  std::vector<std::unique_ptr<CTable>> tables;
  for (const std::string& name : fromNames_) {
    std::unique_ptr<CTable> table = source_ ? source_->OpenTable(name) : nullptr;
    if (!table) throw CKestroSQLNoSuchTableException(name);
    table->Load();
    tables.push_back(std::move(table));
  }
  if (tables.empty()) throw CKestroSQLNoTablesSpecifiedException();

  std::vector<std::unique_ptr<CResultRow>> collected;
  if (tables.size() == 1) {
    ScanTable(*tables.front(), collected);
  } else {
    CRowJoined joined;
    if (std::unique_ptr<JoinPlan> plan = joinPlanning_ ? JoinPlan::Make(where_.get(), tables) : nullptr) {
      JoinPlanned(0, joined, tables, *plan, collected);
    } else {
      JoinTables(0, joined, tables, collected);
    }
  }

  // DISTINCT compares the values themselves and keeps the first row of each.
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < collected.size(); ++i) {
    if (!collected[i]) throw CKestroSQLBadResultRowException({}, static_cast<int32_t>(i));
    if (distinct_ != 0 && !seen.insert(collected[i]->ValueKey()).second) continue;
    result.Append(std::move(collected[i]));
  }
  if (!orderByNames_.empty()) SortResultRows(result, orderByNames_, orderByAscending_);
}

void CSelectStatement::Collect(CRow& row, std::vector<std::unique_ptr<CResultRow>>& collected) {
  if (collected.size() >= rowLimit_) throw CKestroSQLTooManyRowsException(kSqlRowLimitSetting, static_cast<int32_t>(std::min<size_t>(rowLimit_, INT32_MAX)));
  collected.push_back(std::make_unique<CResultRow>(row, selectExpressions_, selectNames_, &plan_));
}

void CSelectStatement::ScanTable(CTable& table, std::vector<std::unique_ptr<CResultRow>>& collected) {
  const int32_t count = table.GetRowCount();
  for (int32_t i = 0; i < count; ++i) {
    CRow row(i, &table);
    if (!where_ || where_->Evaluate(row) != 0) Collect(row, collected);
  }
}

void CSelectStatement::JoinTables(size_t level, CRowJoined& joined, std::vector<std::unique_ptr<CTable>>& tables,
                                  std::vector<std::unique_ptr<CResultRow>>& collected) {
  CTable* table = level < tables.size() ? tables[level].get() : nullptr;
  if (table == nullptr) throw CKestroSQLBadJoinTableException();
  const bool last = level + 1 == tables.size();
  const int32_t count = table->GetRowCount();
  for (int32_t i = 0; i < count; ++i) {
    CRow row(i, table);
    joined.AddRow(&row);
    if (last) {
      if (!where_ || where_->Evaluate(joined) != 0) Collect(joined, collected);
    } else {
      JoinTables(level + 1, joined, tables, collected);
    }
    joined.RemoveLastRow();
  }
}

void CSelectStatement::JoinPlanned(size_t level, CRowJoined& joined, std::vector<std::unique_ptr<CTable>>& tables, JoinPlan& plan,
                                   std::vector<std::unique_ptr<CResultRow>>& collected) {
  CTable* table = level < tables.size() ? tables[level].get() : nullptr;
  if (table == nullptr) throw CKestroSQLBadJoinTableException();
  const bool last = level + 1 == tables.size();
  const std::vector<CExpItem*>& terms = plan.levels[level].terms;
  CExpItem* skipped = nullptr;  // a term the candidates are known to satisfy
  auto visit = [&](int32_t i) {
    CRow row(i, table);
    joined.AddRow(&row);
    bool keep = std::all_of(terms.begin(), terms.end(), [&](CExpItem* term) { return term == skipped || term->Evaluate(joined) != 0; });
    if (keep) {
      if (last) {
        Collect(joined, collected);
      } else {
        JoinPlanned(level + 1, joined, tables, plan, collected);
      }
    }
    joined.RemoveLastRow();
  };
  int32_t first = plan.FirstCandidate(level, *table, joined);
  if (first == JoinPlan::kAllRows) {
    const int32_t count = table->GetRowCount();
    for (int32_t i = 0; i < count; ++i) visit(i);
  } else {
    if (plan.ProbeTermImplied(level)) skipped = plan.levels[level].probeTerm;
    for (int32_t i = first; i >= 0; i = plan.NextCandidate(level, *table, i)) visit(i);
  }
}

int32_t RunSelectStatement(std::string_view text, CTableSource& source, CResultTable& result, size_t rowLimit) {
  CSqlParserDriver parser;
  parser.Parse(text);
  int32_t type = parser.GetStatementType();
  if (type != platform::kSqlStatementSelect) return type;
  CSelectStatement statement(text, parser.GetStatement(), &source);
  statement.SetRowLimit(rowLimit);
  statement.Prepare();
  statement.Execute(result);
  return type;
}

}  // namespace hub
