// Evaluation plan of a join. WHERE's top-level AND terms are tested at the
// first level where every table they name is bound, and an equality between a
// column of one level and an expression over earlier levels takes that level's
// rows from a hash index instead of a scan. Rows come in the same nested order
// and are the same rows as testing WHERE on every complete combination; a plan
// is made only when every column reference resolves, so no reference error can
// be raised early or skipped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace hub {

class CExpItem;
class CRowJoined;
class CTable;

class JoinPlan {
 public:
  struct Level {
    std::vector<CExpItem*> terms;  // tested once this level's row is bound
    CExpItem* probe = nullptr;     // an expression over earlier levels...
    std::string column;            // ...that must equal this column of this level
    CExpItem* probeTerm = nullptr;  // the term that says so
    bool built = false;
    bool indexed = false;
    bool byRowId = false;                            // the column is the row id: no values read
    bool idsAscending = false;                       // rows in id order: found by binary search
    std::unordered_map<uint64_t, int32_t> firstById;
    std::unordered_map<std::string, int32_t> first;  // folded value -> its first row
    std::vector<int32_t> next;                       // row -> next row of the same value, or -1
  };

  static constexpr int32_t kAllRows = -2;

  // Null when WHERE names a column a joined row would refuse.
  static std::unique_ptr<JoinPlan> Make(CExpItem* where, const std::vector<std::unique_ptr<CTable>>& tables);

  // The first row of `level` that can satisfy its probe (then follow NextCandidate),
  // -1 for none, or kAllRows when every row must be tried.
  int32_t FirstCandidate(size_t level, CTable& table, CRowJoined& joined);
  int32_t NextCandidate(size_t level, CTable& table, int32_t row) const;
  // Whether every candidate of `level` is known to satisfy its probe term, so
  // the term need not be tested again: rows found by id through the index
  // carry exactly the id the probe's text names, and the id column's text is
  // that id's decimal form.
  bool ProbeTermImplied(size_t level) const { return levels[level].byRowId; }

  std::vector<Level> levels;
};

// Strict UTF-8 (no overlong forms, nothing above U+10FFFF): for such texts,
// equal folded texts mean equal under the engine's case-insensitive comparison.
bool IsStrictUtf8(std::string_view text);

}  // namespace hub
