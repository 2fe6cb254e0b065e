// Row ids of a table and the default integer reading of its values.
#include "sql/table.h"

#include <stdexcept>

#include "sql/expressions.h"

namespace hub {

const KernelId& CTable::RowId(int32_t row) {
  if (row < 0 || row >= GetRowCount()) throw std::invalid_argument("row index out of range");
  const auto& k = rowIds_[static_cast<size_t>(row)];
  std::copy(k.begin(), k.end(), scratch_.key);
  auto named = rowNames_.find(row);
  std::string_view name = named == rowNames_.end() ? std::string_view() : std::string_view(named->second);
  if (scratch_.Name() != name) scratch_.SetName(name);
  return scratch_;
}

uint64_t CTable::RowRecordId(int32_t row) const {
  if (row < 0 || row >= GetRowCount()) throw std::invalid_argument("row index out of range");
  const auto& k = rowIds_[static_cast<size_t>(row)];
  return uint64_t(k[1]) << 32 | k[0];
}

int32_t CTable::GetIntegerValue(int32_t row, std::string_view name) { return ReadDecimalInteger(GetValue(row, name)); }

}  // namespace hub
