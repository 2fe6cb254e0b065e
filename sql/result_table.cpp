// Result rows, their string-map order, and the sort of a result table.
#include "sql/result_table.h"

#include <algorithm>
#include <numeric>

#include "sql/expressions.h"
#include "sql/row.h"
#include "sql/sql_exception.h"

namespace hub {

namespace {
constexpr uint32_t kStringMapBuckets = 17;
}

uint32_t StringMapHash(std::string_view text) {
  uint32_t h = 0;
  for (char c : text) h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

CResultRow::CResultRow(CRow& row, const std::vector<std::unique_ptr<CExpItem>>& expressions, const std::vector<std::string>& names,
                       ResultRowPlan* plan) {
  if (plan == nullptr) {
    Build(row, expressions, names, nullptr);
    return;
  }
  if (plan->ready) {
    // Same statement, same tables: only the values change.
    size_t calls = 0;
    for (const auto& e : expressions) calls += (e && e->kind() == kExpSelectStar) ? static_cast<size_t>(row.GetColumnCount()) : 1;
    if (calls == plan->slots.size()) {
      layout_ = plan->layout;
      values_.resize(layout_->names.size());
      size_t k = 0;
      for (size_t i = 0; i < expressions.size(); ++i) {
        CExpItem* expression = expressions[i].get();
        if (expression == nullptr) throw CKestroSQLBadSelectExpressionException({}, static_cast<int32_t>(i));
        if (expression->kind() == kExpSelectStar) {
          int32_t count = row.GetColumnCount();
          for (int32_t c = 0; c < count; ++c, ++k) values_[plan->slots[k]] = row.GetValue(plan->setNames[k]);
        } else {
          values_[plan->slots[k++]] = expression->GetText(row);
        }
      }
      return;
    }
  }
  std::vector<std::string> setOrder;
  Build(row, expressions, names, &setOrder);
  plan->setNames = std::move(setOrder);
  plan->slots.clear();
  for (const std::string& name : plan->setNames) {
    auto at = std::find(layout_->names.begin(), layout_->names.end(), name);
    plan->slots.push_back(static_cast<size_t>(at - layout_->names.begin()));
  }
  plan->layout = layout_;
  plan->ready = true;
}

void CResultRow::Build(CRow& row, const std::vector<std::unique_ptr<CExpItem>>& expressions, const std::vector<std::string>& names,
                       std::vector<std::string>* setOrder) {
  for (size_t i = 0; i < expressions.size(); ++i) {
    CExpItem* expression = expressions[i].get();
    if (expression == nullptr) throw CKestroSQLBadSelectExpressionException({}, static_cast<int32_t>(i));
    if (expression->kind() == kExpSelectStar) {
      int32_t count = row.GetColumnCount();
      for (int32_t c = 0; c < count; ++c) {
        std::string name = row.GetColumnNames(c);
        std::string value = row.GetValue(name);
        if (setOrder) setOrder->push_back(name);
        Set(std::move(name), std::move(value));
      }
      continue;
    }
    std::string name = i < names.size() ? names[i] : std::string();
    if (name.empty()) name = expression->GetSqlText();
    if (setOrder) setOrder->push_back(name);
    Set(std::move(name), expression->GetText(row));
  }
}

void CResultRow::Set(std::string name, std::string value) {
  if (layout_) {
    for (size_t i = 0; i < layout_->names.size(); ++i) {
      if (layout_->names[i] == name) {
        values_[i] = std::move(value);
        return;
      }
    }
  }
  if (!layout_) {
    layout_ = std::make_shared<Layout>();
  } else if (layout_.use_count() > 1) {
    layout_ = std::make_shared<Layout>(*layout_);  // another row shares these names
  }
  uint32_t bucket = StringMapHash(name) % kStringMapBuckets;
  auto& buckets = layout_->buckets;
  size_t at = static_cast<size_t>(std::find_if(buckets.begin(), buckets.end(), [&](uint32_t b) { return b >= bucket; }) - buckets.begin());
  buckets.insert(buckets.begin() + static_cast<std::ptrdiff_t>(at), bucket);
  layout_->names.insert(layout_->names.begin() + static_cast<std::ptrdiff_t>(at), std::move(name));
  values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
}

const std::string* CResultRow::Find(std::string_view name) const {
  if (!layout_) return nullptr;
  for (size_t i = 0; i < layout_->names.size(); ++i) {
    if (layout_->names[i] == name) return &values_[i];
  }
  return nullptr;
}

void CResultRow::AddAllColumns(CRow& row) {
  int32_t count = row.GetColumnCount();
  for (int32_t i = 0; i < count; ++i) {
    std::string name = row.GetColumnNames(i);
    std::string value = row.GetValue(name);
    Set(std::move(name), std::move(value));
  }
}

std::vector<std::string> CResultRow::GetColumnNames() const { return layout_ ? layout_->names : std::vector<std::string>(); }

uint32_t CResultRow::GetHash() const {
  uint32_t h = 0;
  for (const std::string& value : values_) {
    for (char c : value) h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  }
  return h;
}

std::string CResultRow::ValueKey() const {
  std::string key;
  for (const std::string& value : values_) {
    key += std::to_string(value.size());
    key += ':';
    key += value;
  }
  return key;
}

namespace {

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digit strings of any length compared as numbers: drop leading zeros, then
// the longer is greater, then byte order.
int CompareDigitStrings(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int CompareResultValues(std::string_view a, std::string_view b) {
  if (AllDigits(a) && AllDigits(b)) return CompareDigitStrings(a, b);
  int c = a.compare(b);  // unsigned bytes: UTF-8 sorts by code point
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void SortResultRows(CResultTable& table, const std::vector<std::string>& names, const std::vector<uint32_t>& ascending) {
  if (names.empty()) throw CKestroSQLSortException();
  auto& rows = table.rows();
  // Null slots carry no values; they go last, in their order.
  std::vector<size_t> order;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i]) order.push_back(i);
  }
  if (order.size() < 2) return;
  const size_t keys = names.size();
  struct Key {
    std::string_view text;
    bool digits;
  };
  std::vector<Key> values(rows.size() * keys);
  for (size_t i : order) {
    for (size_t k = 0; k < keys; ++k) {
      const std::string* v = rows[i]->Find(names[k]);
      if (v == nullptr) throw CKestroSQLNoSuchFieldException(names[k]);
      values[i * keys + k] = {*v, AllDigits(*v)};
    }
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    for (size_t k = 0; k < keys; ++k) {
      const Key& a = values[x * keys + k];
      const Key& b = values[y * keys + k];
      int c;
      if (a.digits && b.digits) {
        c = CompareDigitStrings(a.text, b.text);
      } else {
        int r = a.text.compare(b.text);
        c = r < 0 ? -1 : r > 0 ? 1 : 0;
      }
      if (c != 0) return (k < ascending.size() && ascending[k] == 0) ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<std::unique_ptr<CResultRow>> sorted;
  sorted.reserve(rows.size());
  for (size_t i : order) sorted.push_back(std::move(rows[i]));
  sorted.resize(rows.size());  // the null slots
  rows = std::move(sorted);
}

}  // namespace hub
