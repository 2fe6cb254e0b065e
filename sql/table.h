// A table the engine queries: the ids of its rows, loaded when the query runs,
// and values fetched by row and column name. Tables come from a table source.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/records.h"

namespace hub {

class CTable {
 public:
  CTable(std::string name, int32_t selectStarColumnCount)
      : name_(std::move(name)), selectStarColumnCount_(selectStarColumnCount) {}
  virtual ~CTable() = default;
  CTable(const CTable&) = delete;
  CTable& operator=(const CTable&) = delete;

  // Empties the row ids and fills them from the device.
  virtual void Load() = 0;
  // Throws CKestroSQLNoSuchColumnException for an index outside the columns.
  virtual std::string GetColumnNames(int32_t index) = 0;
  // Throws CKestroSQLNoSuchFieldException for an unknown name (exact, case-sensitive)
  // and std::invalid_argument for a row outside the row ids.
  virtual std::string GetValue(int32_t row, std::string_view name) = 0;
  // The value read as a decimal integer (ReadDecimalInteger); tables override
  // it for numeric columns to skip the text.
  virtual int32_t GetIntegerValue(int32_t row, std::string_view name);
  // Whether GetValue knows the name; lets a join check its references up front.
  virtual bool HasColumn(std::string_view /*name*/) const { return false; }
  // Whether the column's text is the row id's 64-bit key in decimal, so rows
  // can be found by id without reading values.
  virtual bool IsRowIdColumn(std::string_view /*name*/) const { return false; }
  // Whether the row ids never go down, when the table knows without looking.
  virtual std::optional<bool> RowIdsAscending() const { return std::nullopt; }
  // The first row whose RowRecordId is `id`, or -1, from an index the table
  // keeps; kNoRowIdIndex when it keeps none.
  static constexpr int32_t kNoRowIdIndex = -2;
  virtual int32_t FirstRowWithId(uint64_t /*id*/) const { return kNoRowIdIndex; }

  const std::string& name() const { return name_; }
  int32_t selectStarColumnCount() const { return selectStarColumnCount_; }
  virtual int32_t GetRowCount() const { return static_cast<int32_t>(rowIds_.size()); }

 protected:
  // Row ids are kept compact (key words, and names apart for the rows that
  // have one) rather than as whole 276-byte ids: a table of every track is
  // loaded for each query.
  void ClearRows() {
    rowIds_.clear();
    rowNames_.clear();
  }
  void ReserveRows(int hint) {
    if (hint > 0) rowIds_.reserve(static_cast<size_t>(std::min(hint, 1 << 20)));
  }
  void AppendRow(const KernelId& id) {
    if (id.name[0] != 0) rowNames_.emplace(static_cast<int32_t>(rowIds_.size()), std::string(id.Name()));
    rowIds_.push_back({id.key[0], id.key[1], id.key[2], id.key[3]});
  }
  // The row's id, valid until the next call; throws std::invalid_argument outside the rows.
  const KernelId& RowId(int32_t row);

 public:
  // The row id's 64-bit key; throws std::invalid_argument outside the rows.
  virtual uint64_t RowRecordId(int32_t row) const;

 protected:

  std::string name_;
  int32_t selectStarColumnCount_;
  std::vector<std::array<uint32_t, 4>> rowIds_;
  std::unordered_map<int32_t, std::string> rowNames_;
  KernelId scratch_;
};

class CTableSource {
 public:
  virtual ~CTableSource() = default;
  // A new, not yet loaded table, or null for a name the source does not know.
  virtual std::unique_ptr<CTable> OpenTable(std::string_view name) = 0;
};

}  // namespace hub
