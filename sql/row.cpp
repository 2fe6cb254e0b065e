// Table rows and joined rows.
#include "sql/row.h"

#include "sql/sql_exception.h"
#include "sql/table.h"

namespace hub {

std::string CRow::GetValue(std::string_view name) { return table_->GetValue(index_, name); }
int32_t CRow::GetIntegerValue(std::string_view name) { return table_->GetIntegerValue(index_, name); }
int32_t CRow::GetColumnCount() { return table_->selectStarColumnCount(); }
std::string CRow::GetColumnNames(int32_t index) { return table_->GetColumnNames(index); }
std::string_view CRow::GetTableName() { return table_->name(); }

void CRowJoined::RemoveLastRow() {
  if (rows_.empty()) throw CKestroSQLJoinRowUnderflowException();
  rows_.pop_back();
}

CRow& CRowJoined::Resolve(std::string_view name, std::string_view& column) {
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) throw CKestroSQLBadJoinRowFieldException(std::string(name));
  std::string_view table = name.substr(0, dot);
  for (CRow* row : rows_) {
    if (row != nullptr && row->GetTableName() == table) {
      column = name.substr(dot + 1);
      return *row;
    }
  }
  throw CKestroSQLNoSuchFieldException(std::string(name));
}

std::string CRowJoined::GetValue(std::string_view name) {
  std::string_view column;
  CRow& row = Resolve(name, column);
  return row.GetValue(column);
}

int32_t CRowJoined::GetIntegerValue(std::string_view name) {
  std::string_view column;
  CRow& row = Resolve(name, column);
  return row.GetIntegerValue(column);
}

int32_t CRowJoined::GetColumnCount() {
  int32_t count = 0;
  for (CRow* row : rows_) {
    if (row == nullptr) throw CKestroSQLJoinRowException();
    count += row->GetColumnCount();
  }
  return count;
}

std::string CRowJoined::GetColumnNames(int32_t index) {
  int32_t before = 0;
  for (CRow* row : rows_) {
    if (row == nullptr) throw CKestroSQLJoinRowException();
    int32_t count = row->GetColumnCount();
    if (index >= before && index < before + count) {
      return std::string(row->GetTableName()) + "." + row->GetColumnNames(index - before);
    }
    before += count;
  }
  throw CKestroSQLNoSuchColumnException({}, index);
}

}  // namespace hub
