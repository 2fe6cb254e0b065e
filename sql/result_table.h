// Query results: each row a map from result column name to text, iterated in
// the order of the class library's 17-bucket string map (which fixes the
// default column order of reports), and the table of rows with its sort.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hub {

class CExpItem;
class CRow;

// How the rows of one execution are built: every row of a statement sets the
// same names in the same order, so the names and their places are worked out
// on the first row and shared by the rest.
struct ResultRowPlan;

class CResultRow {
 public:
  // Names in iteration order (buckets ascending, latest first within a bucket),
  // shared by the rows of one result until one of them adds a name.
  struct Layout {
    std::vector<std::string> names;
    std::vector<uint32_t> buckets;
  };

  CResultRow() = default;
  // One result row from a table or joined row: every select expression gives a
  // column named by its select name, or its SQL text when that is empty; "*"
  // gives all the row's select-star columns. `names` holds one name per expression.
  CResultRow(CRow& row, const std::vector<std::unique_ptr<CExpItem>>& expressions, const std::vector<std::string>& names,
             ResultRowPlan* plan = nullptr);

  // Sets name -> value; an existing name keeps its place and takes the new value.
  void Set(std::string name, std::string value);
  // The value of a name, or null.
  const std::string* Find(std::string_view name) const;
  void AddAllColumns(CRow& row);

  size_t GetColumnCount() const { return values_.size(); }
  const std::string& GetName(size_t i) const { return layout_->names[i]; }
  const std::string& GetValueAt(size_t i) const { return values_[i]; }
  std::vector<std::string> GetColumnNames() const;
  // h = h * 33 + c over the values concatenated in iteration order.
  uint32_t GetHash() const;
  // The values in iteration order, each length-prefixed, so distinct rows give distinct keys.
  std::string ValueKey() const;

 private:
  void Build(CRow& row, const std::vector<std::unique_ptr<CExpItem>>& expressions, const std::vector<std::string>& names,
             std::vector<std::string>* setOrder);

  std::shared_ptr<Layout> layout_;
  std::vector<std::string> values_;
};

struct ResultRowPlan {
  bool ready = false;
  std::shared_ptr<CResultRow::Layout> layout;
  std::vector<std::string> setNames;  // the name of each Set, in order
  std::vector<size_t> slots;          // where each Set lands
};

// The string hash of the class library's map: h = h * 33 + c over signed bytes.
uint32_t StringMapHash(std::string_view text);

class CResultTable {
 public:
  std::vector<std::unique_ptr<CResultRow>>& rows() { return rows_; }
  const std::vector<std::unique_ptr<CResultRow>>& rows() const { return rows_; }
  size_t size() const { return rows_.size(); }
  void Append(std::unique_ptr<CResultRow> row) { rows_.push_back(std::move(row)); }

 private:
  std::vector<std::unique_ptr<CResultRow>> rows_;
};

// Stable sort by the named result columns. Digit-only values (the empty text
// included) compare as numbers of any length; others byte by byte. A flag of 0
// reverses its key. With two rows or more, a name missing in a row throws
// CKestroSQLNoSuchFieldException before anything moves.
void SortResultRows(CResultTable& table, const std::vector<std::string>& names, const std::vector<uint32_t>& ascending);

// <0, 0 or >0 for one key's two values.
int CompareResultValues(std::string_view a, std::string_view b);

}  // namespace hub
