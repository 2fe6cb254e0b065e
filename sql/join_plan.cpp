// Join planning: placing WHERE's terms by level and indexing equality probes.
#include "sql/join_plan.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "sql/expressions.h"
#include "sql/row.h"
#include "sql/table.h"

namespace hub {

bool IsStrictUtf8(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= n) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if (k == 1 ? (d < lo || d > hi) : (d < 0x80 || d > 0xBF)) return false;
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

namespace {

// WHERE's top-level AND terms in order; by an explicit stack, since a chain
// of many terms is one long left spine.
void SplitAnd(CExpItem* item, std::vector<CExpItem*>& terms) {
  std::vector<CExpItem*> pending{item};
  while (!pending.empty()) {
    CExpItem* next = pending.back();
    pending.pop_back();
    auto* op = dynamic_cast<CExpBinOp*>(next);
    if (op != nullptr && op->op() == CExpBinOp::Op::And) {
      pending.push_back(op->right());
      pending.push_back(op->left());
    } else {
      terms.push_back(next);
    }
  }
}

// The levels an expression reads; false when a reference would fail.
bool Levels(CExpItem* root, const std::vector<std::unique_ptr<CTable>>& tables, int& deepest) {
  std::vector<CExpItem*> pending{root};
  while (!pending.empty()) {
    CExpItem* item = pending.back();
    pending.pop_back();
    if (item == nullptr) continue;
    if (auto* op = dynamic_cast<CExpBinOp*>(item)) {
      pending.push_back(op->right());
      pending.push_back(op->left());
      continue;
    }
    if (item->kind() != kExpField) continue;
    const std::string& name = item->text();
    size_t dot = name.find('.');
    if (dot == std::string::npos) return false;
    std::string_view table = std::string_view(name).substr(0, dot);
    auto at = std::find_if(tables.begin(), tables.end(), [&](const std::unique_ptr<CTable>& t) { return t->name() == table; });
    if (at == tables.end() || !(*at)->HasColumn(std::string_view(name).substr(dot + 1))) return false;
    deepest = std::max(deepest, static_cast<int>(at - tables.begin()));
  }
  return true;
}

}  // namespace

std::unique_ptr<JoinPlan> JoinPlan::Make(CExpItem* where, const std::vector<std::unique_ptr<CTable>>& tables) {
  auto plan = std::make_unique<JoinPlan>();
  plan->levels.resize(tables.size());
  if (where == nullptr) return plan;
  std::vector<CExpItem*> terms;
  SplitAnd(where, terms);
  for (CExpItem* term : terms) {
    int level = 0;
    if (!Levels(term, tables, level)) return nullptr;
    Level& at = plan->levels[static_cast<size_t>(level)];
    at.terms.push_back(term);
    // column = expression over earlier levels, either way round
    auto* op = dynamic_cast<CExpBinOp*>(term);
    if (level == 0 || at.probe != nullptr || op == nullptr || op->op() != CExpBinOp::Op::Equal) continue;
    for (auto [column, other] : {std::pair{op->left(), op->right()}, std::pair{op->right(), op->left()}}) {
      int columnLevel = -1, otherLevel = -1;
      if (column->kind() != kExpField || !Levels(column, tables, columnLevel) || columnLevel != level) continue;
      if (!Levels(other, tables, otherLevel) || otherLevel >= level) continue;
      at.probe = other;
      at.probeTerm = term;
      at.column = column->text().substr(column->text().find('.') + 1);
      break;
    }
  }
  return plan;
}

namespace {

// The id a text names when it is exactly the decimal form an id column writes.
bool ParseCanonicalId(std::string_view text, uint64_t& id) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  id = value;
  return true;
}

}  // namespace

int32_t JoinPlan::NextCandidate(size_t level, CTable& table, int32_t row) const {
  const Level& at = levels[level];
  if (at.byRowId && at.idsAscending) {
    int32_t next = row + 1;
    return next < table.GetRowCount() && table.RowRecordId(next) == table.RowRecordId(row) ? next : -1;
  }
  return at.next[static_cast<size_t>(row)];
}

int32_t JoinPlan::FirstCandidate(size_t level, CTable& table, CRowJoined& joined) {
  Level& at = levels[level];
  if (at.probe == nullptr) return kAllRows;
  if (!at.built && table.IsRowIdColumn(at.column)) {
    at.built = at.indexed = at.byRowId = true;
    const int32_t count = table.GetRowCount();
    std::optional<bool> known = table.RowIdsAscending();
    at.idsAscending = known.value_or(true);
    for (int32_t row = 1; !known && row < count && at.idsAscending; ++row) at.idsAscending = table.RowRecordId(row - 1) <= table.RowRecordId(row);
    if (!at.idsAscending) {
      at.next.assign(static_cast<size_t>(count), -1);
      for (int32_t row = count - 1; row >= 0; --row) {
        auto [it, added] = at.firstById.try_emplace(table.RowRecordId(row), row);
        if (!added) {
          at.next[static_cast<size_t>(row)] = it->second;
          it->second = row;
        }
      }
    }
  }
  if (at.byRowId) {
    uint64_t id;
    if (!ParseCanonicalId(at.probe->GetText(joined), id)) return -1;  // no id column writes that text
    if (!at.idsAscending) {
      auto it = at.firstById.find(id);
      return it == at.firstById.end() ? -1 : it->second;
    }
    const int32_t count = table.GetRowCount();
    // One look in the table's own index instead of a search over its rows.
    if (int32_t row = table.FirstRowWithId(id); row != CTable::kNoRowIdIndex) return row;
    int32_t lo = 0, hi = count;
    while (lo < hi) {
      int32_t mid = lo + (hi - lo) / 2;
      if (table.RowRecordId(mid) < id) lo = mid + 1; else hi = mid;
    }
    return lo < count && table.RowRecordId(lo) == id ? lo : -1;
  }
  if (!at.built) {
    at.built = true;
    at.indexed = true;
    const int32_t count = table.GetRowCount();
    at.next.assign(static_cast<size_t>(count), -1);
    at.first.reserve(static_cast<size_t>(count));
    // Walk backwards so each chain runs in ascending row order.
    for (int32_t row = count - 1; row >= 0; --row) {
      std::string value = table.GetValue(row, at.column);
      if (!IsStrictUtf8(value)) {
        at.indexed = false;  // folded texts would not stand for the comparison
        at.first.clear();
        at.next.clear();
        break;
      }
      auto [it, added] = at.first.try_emplace(FoldCase(value), row);
      if (!added) {
        at.next[static_cast<size_t>(row)] = it->second;
        it->second = row;
      }
    }
  }
  if (!at.indexed) return kAllRows;
  std::string key = at.probe->GetText(joined);
  if (!IsStrictUtf8(key)) return kAllRows;
  auto it = at.first.find(FoldCase(key));
  return it == at.first.end() ? -1 : it->second;
}

}  // namespace hub
