// Rows as expressions see them during a scan or a join: one table row, or one
// combination of rows of several tables whose columns are named table.column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

class CTable;

class CRow {
 public:
  CRow(int32_t index, CTable* table) : index_(index), table_(table) {}
  virtual ~CRow() = default;

  virtual std::string GetValue(std::string_view name);
  // GetValue read as a decimal integer.
  virtual int32_t GetIntegerValue(std::string_view name);
  virtual int32_t GetColumnCount();
  virtual std::string GetColumnNames(int32_t index);
  virtual std::string_view GetTableName();

 protected:
  int32_t index_;
  CTable* table_;  // not owned
};

class CRowJoined : public CRow {
 public:
  CRowJoined() : CRow(0, nullptr) {}

  void AddRow(CRow* row) { rows_.push_back(row); }
  // Throws CKestroSQLJoinRowUnderflowException on an empty row.
  void RemoveLastRow();

  // The name must be table.column; the first row of that table answers.
  std::string GetValue(std::string_view name) override;
  int32_t GetIntegerValue(std::string_view name) override;
  int32_t GetColumnCount() override;
  std::string GetColumnNames(int32_t index) override;
  std::string_view GetTableName() override { return "joined"; }

 private:
  // The row that answers a table.column name, and the column part.
  CRow& Resolve(std::string_view name, std::string_view& column);

  std::vector<CRow*> rows_;  // not owned; one per table in FROM order
};

}  // namespace hub
