// Expression trees built from the parser's postfix node lists and evaluated
// once per candidate row. Equality is a case-insensitive text comparison,
// ordering is numeric, "?" and "#" test containment; arithmetic is 32-bit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sqlparser/sql_parser.h"

namespace hub {

class CRow;

enum CExpKind : int32_t {
  kExpSelectStar = 1,
  kExpField = 2,
  kExpArithmetic = 3,
  kExpLogical = 4,
  kExpComparison = 5,
  kExpLiteral = 7,
};

class CExpItem {
 public:
  CExpItem(int32_t kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  virtual ~CExpItem() = default;
  CExpItem(const CExpItem&) = delete;
  CExpItem& operator=(const CExpItem&) = delete;

  // Truth value: non-zero is true.
  virtual int32_t Evaluate(CRow& row);
  virtual std::string GetText(CRow& row);
  virtual int32_t GetInteger(CRow& row);
  virtual std::string GetSqlText() const;
  // The text folded for case-insensitive containment.
  virtual std::string GetFoldedText(CRow& row);

  int32_t kind() const { return kind_; }
  const std::string& text() const { return text_; }

 protected:
  int32_t kind_;
  std::string text_;
};

class CExpSelectStar : public CExpItem {
 public:
  CExpSelectStar() : CExpItem(kExpSelectStar, {}) {}
};

class CExpField : public CExpItem {
 public:
  explicit CExpField(std::string name) : CExpItem(kExpField, std::move(name)) {}
  std::string GetText(CRow& row) override;
  int32_t GetInteger(CRow& row) override;
};

class CExpLiteral : public CExpItem {
 public:
  // A text quoted at both ends loses those two quotes; inner quotes stay.
  explicit CExpLiteral(std::string_view text);
  int32_t GetInteger(CRow& /*row*/) override { return integer_; }
  std::string GetFoldedText(CRow& /*row*/) override { return folded_; }

 private:
  int32_t integer_;
  std::string folded_;
};

class CExpNull : public CExpItem {
 public:
  CExpNull() : CExpItem(kExpLiteral, {}) {}
  int32_t GetInteger(CRow& /*row*/) override { return 0; }
  std::string GetSqlText() const override { return " NULL "; }
};

class CExpBinOp : public CExpItem {
 public:
  enum class Op { None, Add, Subtract, Multiply, Divide, And, Or, Equal, NotEqual, Contains, NotContains, Less, LessEqual, Greater, GreaterEqual };

  // `text` is the lower-cased operator text.
  CExpBinOp(int32_t kind, std::string text, std::unique_ptr<CExpItem> left, std::unique_ptr<CExpItem> right);
  // Iterative: a chain of many thousand terms is one long left spine.
  ~CExpBinOp() override;

  int32_t Evaluate(CRow& row) override;
  std::string GetText(CRow& row) override;
  int32_t GetInteger(CRow& row) override;
  std::string GetSqlText() const override;

  Op op() const { return op_; }
  CExpItem* left() const { return left_.get(); }
  CExpItem* right() const { return right_.get(); }
  // Whether the left operand continues this node's chain (a + b + c, a AND b
  // AND c): chains are walked in a loop, not by recursion.
  bool chainsLeft() const { return chainsLeft_; }

 private:
  // The nodes of this node's chain from the top down, the innermost last;
  // worked out on first use (a statement runs on one thread).
  const std::vector<CExpBinOp*>& Spine();

  std::unique_ptr<CExpItem> left_;
  std::unique_ptr<CExpItem> right_;
  Op op_;
  bool chainsLeft_ = false;
  std::vector<CExpBinOp*> spine_;
};

// Deepest nesting the engine builds (operands inside operands; a chain of one
// operator counts once); deeper trees could exhaust the stack.
inline constexpr int kMaxExpressionDepth = 256;

// The tree of a postfix node list, or null for an empty list. Throws
// CKestroSQLExpressionStackUnderflowException for an operator short of operands.
std::unique_ptr<CExpItem> BuildExpression(const platform::SqlNodeList& nodes);

// The text comparison behind "=", "<>", "?" and "#": 0 or 1.
int32_t CompareOperands(CExpItem& left, CExpItem& right, CRow& row, bool containment);

// Decimal text read as atoi reads it (blanks, sign, digits), saturating at the
// 32-bit range instead of overflowing.
int32_t ReadDecimalInteger(std::string_view text);

}  // namespace hub
