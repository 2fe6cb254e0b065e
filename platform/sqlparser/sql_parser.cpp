// Lexer and recursive-descent parser of the SELECT subset. Expressions are
// emitted in postfix order while they are read, so the node lists come out
// exactly as the engine consumes them.
#include "platform/sqlparser/sql_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <utility>

namespace hub::platform {

namespace {

std::string ExcerptAt(std::string_view text, size_t offset) {
  constexpr size_t kExcerpt = 24;
  std::string_view rest = text.substr(std::min(offset, text.size()));
  size_t n = std::min(rest.size(), kExcerpt);
  // Cut on a character boundary: never end inside a UTF-8 sequence.
  if (n < rest.size()) {
    while (n > 0 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) --n;
  }
  return std::string(rest.substr(0, n));
}

enum class Tok { End, Ident, Number, String, Op };

struct Token {
  Tok kind = Tok::End;
  std::string_view text;
  size_t offset = 0;
};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<Token> Lex(std::string_view text) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = text.size();
  auto fail = [&](size_t at) -> void { throw SqlSyntaxError(ExcerptAt(text, at), static_cast<int32_t>(at)); };
  while (i < n) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    size_t start = i;
    if (IsIdentStart(c)) {
      while (i < n && IsIdentChar(text[i])) ++i;
      out.push_back({Tok::Ident, text.substr(start, i - start), start});
    } else if (IsDigit(c)) {
      while (i < n && IsDigit(text[i])) ++i;
      if (i + 1 < n && text[i] == '.' && IsDigit(text[i + 1])) {
        ++i;
        while (i < n && IsDigit(text[i])) ++i;
      }
      if (i < n && (IsIdentChar(text[i]) || text[i] == '.')) fail(start);
      out.push_back({Tok::Number, text.substr(start, i - start), start});
    } else if (c == '\'') {
      ++i;
      for (;;) {
        if (i >= n) fail(start);
        if (text[i] == '\'') {
          if (i + 1 < n && text[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      out.push_back({Tok::String, text.substr(start, i - start), start});
    } else {
      static constexpr std::array<std::string_view, 4> kTwo = {"<>", "<=", ">=", "!="};
      std::string_view two = text.substr(i, 2);
      if (std::find(kTwo.begin(), kTwo.end(), two) != kTwo.end()) {
        i += 2;
        out.push_back({Tok::Op, two, start});
      } else if (std::strchr("=<>?#+-*/(),;.", c) != nullptr && c != '\0') {
        ++i;
        out.push_back({Tok::Op, text.substr(start, 1), start});
      } else {
        fail(start);
      }
    }
  }
  out.push_back({Tok::End, {}, n});
  return out;
}

bool EqualsWord(std::string_view a, std::string_view word) {
  if (a.size() != word.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != word[i]) return false;
  }
  return true;
}

// Words that cannot name a column or table. Clauses the engine would not honour
// (GROUP BY, HAVING, LIKE, ...) are reserved so they fail instead of being read
// as an alias and silently ignored.
constexpr std::array<std::string_view, 34> kReserved = {
    "SELECT", "DISTINCT", "FROM",  "WHERE", "ORDER",  "BY",     "ASC",    "DESC",   "AS",
    "AND",    "OR",       "IS",    "NOT",   "NULL",   "GROUP",  "HAVING", "LIKE",   "IN",
    "BETWEEN", "LIMIT",   "OFFSET", "JOIN", "ON",     "UNION",  "ALL",    "EXISTS", "CASE",
    "WHEN",   "THEN",     "ELSE",  "END",   "INNER",  "LEFT",   "GLOB"};

bool IsReserved(std::string_view word) {
  return std::any_of(kReserved.begin(), kReserved.end(), [&](std::string_view k) { return EqualsWord(word, k); });
}

struct StatementWord {
  std::string_view word;
  SqlStatementType type;
};
constexpr std::array<StatementWord, 12> kStatementWords = {{
    {"SELECT", kSqlStatementSelect},
    {"INSERT", kSqlStatementInsert},
    {"UPDATE", kSqlStatementUpdate},
    {"DELETE", kSqlStatementDelete},
    {"REPLACE", kSqlStatementOther},
    {"CREATE", kSqlStatementOther},
    {"DROP", kSqlStatementOther},
    {"ALTER", kSqlStatementOther},
    {"PRAGMA", kSqlStatementOther},
    {"WITH", kSqlStatementOther},
    {"VACUUM", kSqlStatementOther},
    {"ATTACH", kSqlStatementOther},
}};

class SelectParser {
 public:
  SelectParser(std::string_view text, std::vector<Token> tokens) : text_(text), tokens_(std::move(tokens)) {}

  SqlStatementTree ParseSelect() {
    SqlStatementTree tree;
    ExpectWord("SELECT");
    if (AcceptWord("DISTINCT")) tree.distinct = 1;
    ParseSelectList(tree);
    if (AcceptWord("FROM")) {
      do {
        tree.from.push_back({ExpectName()});
      } while (AcceptOp(","));
    }
    if (AcceptWord("WHERE")) {
      columns_ = &tree.columns;
      ParseExpression(tree.where);
      columns_ = nullptr;
    }
    if (AcceptWord("ORDER")) {
      ExpectWord("BY");
      do {
        SqlOrderByItem item;
        item.column = ParseColumnRef();
        if (AcceptWord("DESC")) {
          item.ascending = 0;
        } else {
          AcceptWord("ASC");
        }
        tree.orderBy.push_back(std::move(item));
      } while (AcceptOp(","));
    }
    AcceptOp(";");
    if (Peek().kind != Tok::End) Fail();
    return tree;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  [[noreturn]] void Fail() const { FailAt(Peek().offset); }
  [[noreturn]] void FailAt(size_t offset) const {
    throw SqlSyntaxError(ExcerptAt(text_, offset), static_cast<int32_t>(offset));
  }
  [[noreturn]] void FailTooDeep(size_t offset) const {
    throw SqlTooDeepError(ExcerptAt(text_, offset), static_cast<int32_t>(offset));
  }

  bool IsWord(const Token& t, std::string_view word) const { return t.kind == Tok::Ident && EqualsWord(t.text, word); }
  bool IsOp(const Token& t, std::string_view op) const { return t.kind == Tok::Op && t.text == op; }

  bool AcceptWord(std::string_view word) {
    if (!IsWord(Peek(), word)) return false;
    Next();
    return true;
  }
  void ExpectWord(std::string_view word) {
    if (!AcceptWord(word)) Fail();
  }
  bool AcceptOp(std::string_view op) {
    if (!IsOp(Peek(), op)) return false;
    Next();
    return true;
  }
  void ExpectOp(std::string_view op) {
    if (!AcceptOp(op)) Fail();
  }
  std::string ExpectName() {
    const Token& t = Peek();
    if (t.kind != Tok::Ident || IsReserved(t.text)) Fail();
    Next();
    return std::string(t.text);
  }

  SqlColumnRef ParseColumnRef() {
    SqlColumnRef ref;
    ref.name = ExpectName();
    if (AcceptOp(".")) {
      ref.qualifier = std::move(ref.name);
      ref.name = ExpectName();
    }
    return ref;
  }

  void ParseSelectList(SqlStatementTree& tree) {
    // "*" stands only as the whole list, so every other item keeps its name.
    if (IsOp(Peek(), "*")) {
      Next();
      tree.select.push_back({{{"*", kSqlNodeSelectStar}}, {}});
      return;
    }
    columns_ = &tree.columns;
    do {
      SqlSelectItem item;
      ParseExpression(item.expression);
      if (AcceptWord("AS")) {
        item.alias = ExpectName();
      } else if (Peek().kind == Tok::Ident && !IsReserved(Peek().text)) {
        item.alias = ExpectName();
      }
      tree.select.push_back(std::move(item));
    } while (AcceptOp(","));
    columns_ = nullptr;
  }

  // Each level returns the nesting of the tree it emitted. A chain of one
  // operator level (a + b + c, a AND b AND c) is read in a loop and counts as
  // one level however long it is; only operands inside operands nest deeper.
  int ParseExpression(SqlNodeList& out) { return ParseOr(out); }

  // `chained`: the left operand is this loop's previous result.
  int Combine(int left, int right, size_t at, bool chained) const {
    int depth = std::max(chained ? left : left + 1, right + 1);
    if (depth > kSqlMaxExpressionDepth) FailTooDeep(at);
    return depth;
  }

  int ParseOr(SqlNodeList& out) {
    int depth = ParseAnd(out);
    for (bool chained = false; IsWord(Peek(), "OR"); chained = true) {
      const Token& op = Next();
      depth = Combine(depth, ParseAnd(out), op.offset, chained);
      out.push_back({std::string(op.text), kSqlNodeLogical});
    }
    return depth;
  }

  int ParseAnd(SqlNodeList& out) {
    int depth = ParseComparison(out);
    for (bool chained = false; IsWord(Peek(), "AND"); chained = true) {
      const Token& op = Next();
      depth = Combine(depth, ParseComparison(out), op.offset, chained);
      out.push_back({std::string(op.text), kSqlNodeLogical});
    }
    return depth;
  }

  int ParseComparison(SqlNodeList& out) {
    int depth = ParseAdditive(out);
    const Token& t = Peek();
    if (IsWord(t, "IS")) {
      // IS NULL compares with the NULL literal, whose text is empty.
      Next();
      bool negate = AcceptWord("NOT");
      const Token& null = Peek();
      if (!IsWord(null, "NULL")) Fail();
      Next();
      out.push_back({std::string(null.text), kSqlNodeNull});
      out.push_back({negate ? "<>" : "=", kSqlNodeComparison});
      return Combine(depth, 1, t.offset, false);
    }
    static constexpr std::array<std::string_view, 9> kComparisons = {"=", "<>", "!=", "<", "<=", ">", ">=", "?", "#"};
    if (t.kind == Tok::Op && std::find(kComparisons.begin(), kComparisons.end(), t.text) != kComparisons.end()) {
      Next();
      depth = Combine(depth, ParseAdditive(out), t.offset, false);
      // The engine knows inequality only as "<>".
      out.push_back({t.text == "!=" ? std::string("<>") : std::string(t.text), kSqlNodeComparison});
    }
    return depth;
  }

  int ParseAdditive(SqlNodeList& out) {
    int depth = ParseMultiplicative(out);
    for (bool chained = false; IsOp(Peek(), "+") || IsOp(Peek(), "-"); chained = true) {
      const Token& op = Next();
      depth = Combine(depth, ParseMultiplicative(out), op.offset, chained);
      out.push_back({std::string(op.text), kSqlNodeArithmetic});
    }
    return depth;
  }

  int ParseMultiplicative(SqlNodeList& out) {
    int depth = ParsePrimary(out);
    for (bool chained = false; IsOp(Peek(), "*") || IsOp(Peek(), "/"); chained = true) {
      const Token& op = Next();
      depth = Combine(depth, ParsePrimary(out), op.offset, chained);
      out.push_back({std::string(op.text), kSqlNodeArithmetic});
    }
    return depth;
  }

  int ParsePrimary(SqlNodeList& out) {
    const Token& t = Peek();
    switch (t.kind) {
      case Tok::Number:
        Next();
        out.push_back({std::string(t.text), kSqlNodeLiteral});
        return 1;
      case Tok::String:
        Next();
        out.push_back({std::string(t.text), kSqlNodeLiteral});
        return 1;
      case Tok::Op:
        if (t.text == "(") {
          // Parentheses are where the reading recurses, so they are bounded apart.
          if (++parens_ > kSqlMaxExpressionDepth) FailTooDeep(t.offset);
          Next();
          int depth = ParseExpression(out);
          ExpectOp(")");
          --parens_;
          return depth;
        }
        if (t.text == "-" && tokens_[pos_ + 1].kind == Tok::Number) {
          // A negative number is one literal, written as it stands.
          Next();
          const Token& number = Next();
          out.push_back({"-" + std::string(number.text), kSqlNodeLiteral});
          return 1;
        }
        Fail();
      case Tok::Ident:
        if (IsWord(t, "NULL")) {
          Next();
          out.push_back({std::string(t.text), kSqlNodeNull});
          return 1;
        }
        {
          size_t start = t.offset;
          SqlColumnRef ref = ParseColumnRef();
          if (IsOp(Peek(), "(")) FailAt(start);  // functions are not supported
          std::string written = ref.qualifier.empty() ? ref.name : ref.qualifier + "." + ref.name;
          out.push_back({written, kSqlNodeColumn});
          if (columns_ != nullptr) columns_->push_back(std::move(ref));
          return 1;
        }
      case Tok::End:
        break;
    }
    Fail();
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int parens_ = 0;
  std::vector<SqlColumnRef>* columns_ = nullptr;
};

}  // namespace

SqlSyntaxError::SqlSyntaxError(std::string near, int32_t offset)
    : std::runtime_error("Syntax error."), near_(std::move(near)), offset_(offset) {}

void SqlParser::Parse(std::string_view text) {
  type_ = 0;
  statement_.reset();
  if (text.size() > kSqlMaxStatementBytes) throw SqlSyntaxError(ExcerptAt(text, 0), 0);
  // The first word names the statement; only a SELECT is read further.
  size_t start = 0;
  while (start < text.size() && std::strchr(" \t\r\n", text[start]) != nullptr && text[start] != '\0') ++start;
  size_t end = start;
  while (end < text.size() && IsIdentChar(text[end])) ++end;
  std::string_view first = text.substr(start, end - start);
  auto word = std::find_if(kStatementWords.begin(), kStatementWords.end(),
                           [&](const StatementWord& w) { return EqualsWord(first, w.word); });
  if (word == kStatementWords.end()) throw SqlSyntaxError(ExcerptAt(text, start), static_cast<int32_t>(start));
  if (word->type != kSqlStatementSelect) {
    type_ = word->type;
    return;
  }
  std::vector<Token> tokens = Lex(text);
  SelectParser parser(text, std::move(tokens));
  auto tree = std::make_shared<SqlStatementTree>(parser.ParseSelect());
  statement_ = std::move(tree);
  type_ = kSqlStatementSelect;
}

}  // namespace hub::platform
