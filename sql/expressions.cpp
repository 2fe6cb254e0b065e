// Expression items, the postfix tree builder and operator semantics.
#include "sql/expressions.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "common/text.h"
#include "sql/row.h"
#include "sql/sql_exception.h"

namespace hub {

int32_t ReadDecimalInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;  // saturate, keep reading digits
  }
  if (negative) return static_cast<int32_t>(-value < INT32_MIN ? INT32_MIN : -value);
  return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX));
}

int32_t CExpItem::Evaluate(CRow& row) { return GetInteger(row); }
std::string CExpItem::GetText(CRow& /*row*/) { return text_; }
int32_t CExpItem::GetInteger(CRow& /*row*/) { return ReadDecimalInteger(text_); }
std::string CExpItem::GetSqlText() const { return text_; }
std::string CExpItem::GetFoldedText(CRow& row) { return FoldCase(GetText(row)); }

std::string CExpField::GetText(CRow& row) { return row.GetValue(text_); }
int32_t CExpField::GetInteger(CRow& row) { return row.GetIntegerValue(text_); }

namespace {
std::string_view Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') return text.substr(1, text.size() - 2);
  return text;
}
}  // namespace

CExpLiteral::CExpLiteral(std::string_view text)
    : CExpItem(kExpLiteral, std::string(Unquote(text))), integer_(ReadDecimalInteger(text_)), folded_(FoldCase(text_)) {}

namespace {

struct OpName {
  int32_t kind;
  std::string_view text;
  CExpBinOp::Op op;
};

// Comparison texts are matched whole here; the first-character rule picks the
// same operator for every text the parser writes. "!=" is inequality.
constexpr std::array<OpName, 13> kOps = {{
    {kExpComparison, "=", CExpBinOp::Op::Equal},
    {kExpComparison, "<>", CExpBinOp::Op::NotEqual},
    {kExpComparison, "!=", CExpBinOp::Op::NotEqual},
    {kExpComparison, "?", CExpBinOp::Op::Contains},
    {kExpComparison, "#", CExpBinOp::Op::NotContains},
    {kExpComparison, "<", CExpBinOp::Op::Less},
    {kExpComparison, "<=", CExpBinOp::Op::LessEqual},
    {kExpComparison, ">", CExpBinOp::Op::Greater},
    {kExpComparison, ">=", CExpBinOp::Op::GreaterEqual},
    {kExpArithmetic, "+", CExpBinOp::Op::Add},
    {kExpArithmetic, "-", CExpBinOp::Op::Subtract},
    {kExpArithmetic, "*", CExpBinOp::Op::Multiply},
    {kExpArithmetic, "/", CExpBinOp::Op::Divide},
}};

CExpBinOp::Op ClassifyOperator(int32_t kind, std::string_view text) {
  if (text.empty()) return CExpBinOp::Op::None;
  char c = text.front();
  switch (kind) {
    case kExpLogical:
      return c == 'a' ? CExpBinOp::Op::And : c == 'o' ? CExpBinOp::Op::Or : CExpBinOp::Op::None;
    case kExpArithmetic:
      for (const OpName& o : kOps) {
        if (o.kind == kind && o.text.front() == c) return o.op;
      }
      return CExpBinOp::Op::None;
    case kExpComparison: {
      // Recognised by the first character; "<" and ">" look at the whole text.
      if (c == '<') return text == "<=" ? CExpBinOp::Op::LessEqual : text == "<>" ? CExpBinOp::Op::NotEqual : CExpBinOp::Op::Less;
      if (c == '>') return text == ">=" ? CExpBinOp::Op::GreaterEqual : CExpBinOp::Op::Greater;
      if (text == "!=") return CExpBinOp::Op::NotEqual;
      for (const OpName& o : kOps) {
        if (o.kind == kind && o.text.size() == 1 && o.text.front() == c) return o.op;
      }
      return CExpBinOp::Op::None;
    }
    default:
      return CExpBinOp::Op::None;
  }
}

}  // namespace

CExpBinOp::CExpBinOp(int32_t kind, std::string text, std::unique_ptr<CExpItem> left, std::unique_ptr<CExpItem> right)
    : CExpItem(kind, std::move(text)),
      left_(std::move(left)),
      right_(std::move(right)),
      op_(ClassifyOperator(kind_, text_)) {
  if (auto* inner = dynamic_cast<CExpBinOp*>(left_.get())) {
    bool arithmetic = kind_ == kExpArithmetic && inner->kind_ == kExpArithmetic && op_ != Op::None && inner->op_ != Op::None;
    bool logical = (op_ == Op::And || op_ == Op::Or) && inner->op_ == op_;
    chainsLeft_ = arithmetic || logical;
  }
}

CExpBinOp::~CExpBinOp() {
  std::vector<std::unique_ptr<CExpItem>> pending;
  pending.push_back(std::move(left_));
  pending.push_back(std::move(right_));
  while (!pending.empty()) {
    std::unique_ptr<CExpItem> item = std::move(pending.back());
    pending.pop_back();
    if (auto* op = dynamic_cast<CExpBinOp*>(item.get())) {
      pending.push_back(std::move(op->left_));
      pending.push_back(std::move(op->right_));
    }
  }
}

const std::vector<CExpBinOp*>& CExpBinOp::Spine() {
  if (spine_.empty()) {
    for (CExpBinOp* node = this;; node = static_cast<CExpBinOp*>(node->left_.get())) {
      spine_.push_back(node);
      if (!node->chainsLeft_) break;
    }
  }
  return spine_;
}

int32_t CExpBinOp::Evaluate(CRow& row) {
  switch (op_) {
    case Op::Add:
    case Op::Subtract:
    case Op::Multiply:
    case Op::Divide:
      return GetInteger(row);
    case Op::And:
    case Op::Or: {
      const int32_t decided = op_ == Op::And ? 0 : 1;  // the value that ends the chain early
      if (!chainsLeft_) {
        if ((left_->Evaluate(row) != 0) == (decided != 0)) return decided;
        return (right_->Evaluate(row) != 0) == (decided != 0) ? decided : 1 - decided;
      }
      // The chain's terms in order, innermost (leftmost) first.
      const std::vector<CExpBinOp*>& nodes = Spine();
      if ((nodes.back()->left_->Evaluate(row) != 0) == (decided != 0)) return decided;
      for (size_t i = nodes.size(); i-- > 0;) {
        if ((nodes[i]->right_->Evaluate(row) != 0) == (decided != 0)) return decided;
      }
      return 1 - decided;
    }
    case Op::Equal:
      return CompareOperands(*left_, *right_, row, false);
    case Op::NotEqual:
      return 1 - CompareOperands(*left_, *right_, row, false);
    case Op::Contains:
      return CompareOperands(*left_, *right_, row, true);
    case Op::NotContains:
      return 1 - CompareOperands(*left_, *right_, row, true);
    case Op::Less:
      return left_->GetInteger(row) < right_->GetInteger(row) ? 1 : 0;
    case Op::LessEqual:
      return left_->GetInteger(row) <= right_->GetInteger(row) ? 1 : 0;
    case Op::Greater:
      return left_->GetInteger(row) > right_->GetInteger(row) ? 1 : 0;
    case Op::GreaterEqual:
      return left_->GetInteger(row) >= right_->GetInteger(row) ? 1 : 0;
    case Op::None:
      break;
  }
  return 0;
}

namespace {

// 32-bit arithmetic that wraps, done unsigned so it is defined.
int32_t Apply(CExpBinOp::Op op, uint32_t a, uint32_t b) {
  using Op = CExpBinOp::Op;
  switch (op) {
    case Op::Add:
      return static_cast<int32_t>(a + b);
    case Op::Subtract:
      return static_cast<int32_t>(a - b);
    case Op::Multiply:
      return static_cast<int32_t>(a * b);
    case Op::Divide: {
      int32_t x = static_cast<int32_t>(a), y = static_cast<int32_t>(b);
      if (y == 0) return 0;                      // x / 0 is 0, not a trap
      if (y == -1) return static_cast<int32_t>(0u - a);  // INT_MIN / -1 wraps
      return x / y;
    }
    default:
      return 0;
  }
}

}  // namespace

int32_t CExpBinOp::GetInteger(CRow& row) {
  if (kind_ != kExpArithmetic) return Evaluate(row);
  if (op_ == Op::None) return 0;  // an unknown arithmetic operator has the value 0
  if (!chainsLeft_) {
    uint32_t a = static_cast<uint32_t>(left_->GetInteger(row));
    return Apply(op_, a, static_cast<uint32_t>(right_->GetInteger(row)));
  }
  const std::vector<CExpBinOp*>& nodes = Spine();
  uint32_t value = static_cast<uint32_t>(nodes.back()->left_->GetInteger(row));
  for (size_t i = nodes.size(); i-- > 0;) {
    value = static_cast<uint32_t>(Apply(nodes[i]->op_, value, static_cast<uint32_t>(nodes[i]->right_->GetInteger(row))));
  }
  return static_cast<int32_t>(value);
}

std::string CExpBinOp::GetText(CRow& row) { return std::to_string(GetInteger(row)); }

std::string CExpBinOp::GetSqlText() const {
  std::vector<const CExpBinOp*> nodes;
  for (const CExpBinOp* node = this;; node = static_cast<const CExpBinOp*>(node->left_.get())) {
    nodes.push_back(node);
    if (!node->chainsLeft_) break;
  }
  std::string text = nodes.back()->left_->GetSqlText();
  for (size_t i = nodes.size(); i-- > 0;) text += " " + nodes[i]->text_ + " " + nodes[i]->right_->GetSqlText();
  return text;
}

namespace {

// Whether `needle` (already folded) occurs in `text` once folded. ASCII texts,
// the common case, are searched in place without building a folded copy.
bool ContainsFolded(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    return FoldCase(text).find(needle) != std::string::npos;
  }
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  if (needle.size() > text.size()) return false;
  for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && lower(text[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

}  // namespace

int32_t CompareOperands(CExpItem& left, CExpItem& right, CRow& row, bool containment) {
  if (containment && left.kind() == kExpField) {
    std::string haystack = left.GetText(row);
    std::string needle = right.GetFoldedText(row);
    return ContainsFolded(haystack, needle) ? 1 : 0;
  }
  return EqualsNoCase(left.GetText(row), right.GetText(row)) ? 1 : 0;
}

std::unique_ptr<CExpItem> BuildExpression(const platform::SqlNodeList& nodes) {
  struct Entry {
    std::unique_ptr<CExpItem> item;
    int depth;
  };
  std::vector<Entry> stack;
  for (const platform::SqlNode& node : nodes) {
    switch (node.kind) {
      case platform::kSqlNodeSelectStar:
        stack.push_back({std::make_unique<CExpSelectStar>(), 1});
        break;
      case platform::kSqlNodeColumn:
        stack.push_back({std::make_unique<CExpField>(node.text), 1});
        break;
      case platform::kSqlNodeLiteral:
        stack.push_back({std::make_unique<CExpLiteral>(node.text), 1});
        break;
      case platform::kSqlNodeNull:
        stack.push_back({std::make_unique<CExpNull>(), 1});
        break;
      case platform::kSqlNodeArithmetic:
      case platform::kSqlNodeLogical:
      case platform::kSqlNodeComparison: {
        std::string text;
        for (char c : node.text) {
          if (c != ' ') text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        if (stack.size() < 2) throw CKestroSQLExpressionStackUnderflowException(text);
        Entry right = std::move(stack.back());
        stack.pop_back();
        Entry left = std::move(stack.back());
        stack.pop_back();
        auto op = std::make_unique<CExpBinOp>(node.kind, text, std::move(left.item), std::move(right.item));
        int depth = std::max(op->chainsLeft() ? left.depth : left.depth + 1, right.depth + 1);
        if (depth > kMaxExpressionDepth) throw CKestroSQLExpressionTooDeepException(text, depth);
        stack.push_back({std::move(op), depth});
        break;
      }
      default:
        break;  // kinds the engine does not use add nothing
    }
  }
  if (stack.empty()) return nullptr;
  return std::move(stack.back().item);
}

}  // namespace hub
