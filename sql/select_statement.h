// SELECT statements: Prepare reads the parsed statement into clause lists,
// Execute scans one table or joins several, filters by WHERE, builds result
// rows, removes duplicates for DISTINCT and sorts by ORDER BY.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/expressions.h"
#include "sql/result_table.h"
#include "sql/sql_parser_driver.h"
#include "sql/table.h"

namespace hub {

class CRowJoined;
class JoinPlan;

// The setting that bounds the rows of one query, and its default: a cross
// join of large tables ends with an error instead of exhausting memory.
inline constexpr char kSqlRowLimitSetting[] = "SQL_MaxRows";
inline constexpr size_t kDefaultSqlRowLimit = 1000000;

class CSQLStatement {
 public:
  explicit CSQLStatement(std::string_view text) : text_(text) {}
  virtual ~CSQLStatement() = default;
  virtual void Prepare() = 0;
  virtual void Execute(CResultTable& result) = 0;
  const std::string& text() const { return text_; }

 protected:
  std::string text_;
};

// Prepared once and executed once. Several statements may run on several
// threads at once, each with its own table source and result table.
class CSelectStatement : public CSQLStatement {
 public:
  CSelectStatement(std::string_view text, CSqlStatementDriver statement, CTableSource* source);

  void Prepare() override;
  // Appends the result rows to `result`; throws the CKestroSQLException family
  // and the device's own errors.
  void Execute(CResultTable& result) override;

  // Off: joins test WHERE on every complete combination (the reference the plan must match).
  void SetJoinPlanning(bool on) { joinPlanning_ = on; }
  // Most rows one execution builds before it stops with CKestroSQLTooManyRowsException.
  void SetRowLimit(size_t limit) { rowLimit_ = limit; }

  const std::vector<std::string>& selectNames() const { return selectNames_; }
  const std::vector<std::string>& fromNames() const { return fromNames_; }
  const std::vector<std::string>& orderByNames() const { return orderByNames_; }
  const std::vector<uint32_t>& orderByAscending() const { return orderByAscending_; }
  const std::vector<std::string>& columnReferences() const { return columnReferences_; }
  const std::vector<std::unique_ptr<CExpItem>>& selectExpressions() const { return selectExpressions_; }
  const CExpItem* where() const { return where_.get(); }
  int32_t distinct() const { return distinct_; }

 private:
  void Collect(CRow& row, std::vector<std::unique_ptr<CResultRow>>& collected);
  void ScanTable(CTable& table, std::vector<std::unique_ptr<CResultRow>>& collected);
  void JoinTables(size_t level, CRowJoined& joined, std::vector<std::unique_ptr<CTable>>& tables,
                  std::vector<std::unique_ptr<CResultRow>>& collected);
  void JoinPlanned(size_t level, CRowJoined& joined, std::vector<std::unique_ptr<CTable>>& tables, JoinPlan& plan,
                   std::vector<std::unique_ptr<CResultRow>>& collected);

  // One name per select expression, so rows never read past the names; the
  // name of "*" is empty.
  std::vector<std::string> selectNames_;
  CSqlStatementDriver statement_;
  CTableSource* source_;  // not owned
  int32_t distinct_ = 0;
  std::vector<std::unique_ptr<CExpItem>> selectExpressions_;
  std::vector<std::string> fromNames_;
  std::unique_ptr<CExpItem> where_;
  std::vector<std::string> columnReferences_;
  std::unique_ptr<CExpItem> secondCondition_;
  std::vector<std::string> orderByNames_;
  std::vector<uint32_t> orderByAscending_;
  ResultRowPlan plan_;
  bool joinPlanning_ = true;
  size_t rowLimit_ = kDefaultSqlRowLimit;
};

// Parses `text` and, when it is a SELECT, prepares and runs it over `source`
// into `result`. Answers the statement type (2 for SELECT, the only kind run).
int32_t RunSelectStatement(std::string_view text, CTableSource& source, CResultTable& result,
                           size_t rowLimit = kDefaultSqlRowLimit);

}  // namespace hub
