// Expression semantics: text equality without case, numeric ordering,
// containment, 32-bit arithmetic without traps, NULL and literals.
#include <gtest/gtest.h>

#include <climits>

#include "sql/expressions.h"
#include "sql/row.h"
#include "sql/sql_exception.h"
#include "sql_fixture.h"

namespace hub::test {
namespace {

using V = std::vector<std::string>;

struct WhereCase {
  const char* where;
  V titles;
};

TEST(SqlExpressionsTest, WhereSelectsTheExpectedRows) {
  MemoryJukebox j = SmallJukebox();
  const WhereCase cases[] = {
      {"artist = 'queen'", {"Bohemian Rhapsody", "Innuendo"}},
      {"artist ? 'beat'", {"Yesterday", "Drop"}},
      {"'beat' ? artist", {}},
      {"genre # 'rock'", {"Drop", "La vie en rose", "Silence"}},
      {"artist ? 'ÉDITH'", {"La vie en rose"}},
      {"artist = 'édith piaf'", {"La vie en rose"}},
      {"artist != 'queen'", {"Yesterday", "Drop", "La vie en rose", "Silence"}},
      {"artist <> 'Queen' AND genre = 'rock'", {"Yesterday"}},
      {"year > 1970 AND year < 2000", {"Bohemian Rhapsody", "Innuendo"}},
      {"year = 02000 OR year = 1965", {"Yesterday"}},
      {"artist < 'b'", {}},
      {"comment = NULL", {"Bohemian Rhapsody", "Innuendo", "La vie en rose", "Silence"}},
      {"comment IS NULL", {"Bohemian Rhapsody", "Innuendo", "La vie en rose", "Silence"}},
      {"comment IS NOT NULL", {"Yesterday", "Drop"}},
      {"title = ''", {}},
      {"album = ''", {"Silence"}},
      {"locked", {"Silence"}},
      {"year / 0 = 0 AND year = 1965", {"Yesterday"}},
      {"year + 1 = 1966", {"Yesterday"}},
      {"(year - 1000) * 2 >= 1982", {"Innuendo", "Drop"}},
      {"artist ? '%'", {}},
      {"title ? ''", {"Yesterday", "Bohemian Rhapsody", "Innuendo", "Drop", "La vie en rose", "Silence"}},
      {"id = 13 OR id >= 15", {"Innuendo", "La vie en rose", "Silence"}},
  };
  for (const WhereCase& c : cases) {
    EXPECT_EQ(Column(j, std::string("SELECT title FROM audio WHERE ") + c.where, "title"), c.titles) << c.where;
  }
}

TEST(SqlExpressionsTest, ValuesOfSelectItems) {
  MemoryJukebox j = SmallJukebox();
  const std::pair<const char*, const char*> cases[] = {
      {"year + 1", "1966"},
      {"'abc' + 1", "1"},
      {"'it''s'", "it''s"},
      {"NULL", ""},
      {"7 / 2", "3"},
      {"-7 / 2", "-3"},
      {"5 / 0", "0"},
      {"2147483647 + 1", "-2147483648"},
      {"-2147483648 / -1", "-2147483648"},
      {"99999999999", "99999999999"},
      {"99999999999 + 0", "2147483647"},
      {"-99999999999 - 0", "-2147483648"},
      {"65536 * 65536", "0"},
      {"year > 1900", "1"},
      {"' 42x' * 2", "84"},
  };
  for (const auto& [item, value] : cases) {
    auto rows = Column(j, std::string("SELECT ") + item + " AS v FROM audio WHERE id = 11", "v");
    ASSERT_EQ(rows.size(), 1u) << item;
    EXPECT_EQ(rows[0], value) << item;
  }
}

// A hand-built tree stands in for trees no parser of ours writes.
TEST(SqlExpressionsTest, BuilderRefusesShortOperatorsAndOddKinds) {
  platform::SqlNodeList shortList = {{"a", platform::kSqlNodeColumn}, {"=", platform::kSqlNodeComparison}};
  try {
    BuildExpression(shortList);
    FAIL();
  } catch (const CKestroSQLExpressionStackUnderflowException& e) {
    EXPECT_EQ(e.detailText(), "=");
    EXPECT_EQ(e.GetMessageText(), "Stack underflow while processing expression.\n\n=\n0");
  }
  EXPECT_EQ(BuildExpression({}), nullptr);
  // Kinds 6 and 8 add nothing; the top of the stack is the expression.
  platform::SqlNodeList odd = {{"x", 6}, {"1", platform::kSqlNodeLiteral}, {"2", platform::kSqlNodeLiteral}};
  auto top = BuildExpression(odd);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->GetSqlText(), "2");
  // Operator texts are lower-cased and lose their blanks.
  platform::SqlNodeList spaced = {{"a", platform::kSqlNodeColumn}, {"b", platform::kSqlNodeColumn}, {" A N D ", platform::kSqlNodeLogical}};
  EXPECT_EQ(BuildExpression(spaced)->GetSqlText(), "a and b");
  // An arithmetic node with an unknown operator is 0, not a recursion.
  platform::SqlNodeList unknown = {{"3", platform::kSqlNodeLiteral}, {"4", platform::kSqlNodeLiteral}, {"%", platform::kSqlNodeArithmetic}};
  auto item = BuildExpression(unknown);
  CRow none(0, nullptr);
  EXPECT_EQ(item->Evaluate(none), 0);
  EXPECT_EQ(item->GetText(none), "0");
  // Trees nested deeper than the engine evaluates safely are refused: here
  // 1 + (1 + (1 + ...)), every operand inside the one before.
  platform::SqlNodeList deep(5001, {"1", platform::kSqlNodeLiteral});
  for (int i = 0; i < 5000; ++i) deep.push_back({"+", platform::kSqlNodeArithmetic});
  EXPECT_THROW(BuildExpression(deep), CKestroSQLExpressionTooDeepException);
}

TEST(SqlExpressionsTest, LongChainsAreOneLevel) {
  // ((1 + 1) + 1) ... of 20,000 terms: built, evaluated, named and freed in loops.
  platform::SqlNodeList chain = {{"1", platform::kSqlNodeLiteral}};
  for (int i = 1; i < 20000; ++i) {
    chain.push_back({i % 3 == 0 ? "-1" : "1", platform::kSqlNodeLiteral});
    chain.push_back({"+", platform::kSqlNodeArithmetic});
  }
  auto sum = BuildExpression(chain);
  CRow none(0, nullptr);
  EXPECT_EQ(sum->GetText(none), std::to_string(20000 - 2 * (19999 / 3)));
  EXPECT_EQ(sum->GetSqlText().substr(0, 14), "1 + 1 + 1 + -1");

  MemoryJukebox j = SmallJukebox();
  std::string plus = "1";
  for (int i = 1; i < 201; ++i) plus += " + 1";
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE " + plus + " = 201 AND id = 11", "title"), V{"Yesterday"});
  std::string ands = "year > 0";
  for (int i = 1; i < 500; ++i) ands += " AND year > " + std::to_string(i);
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE " + ands, "title"), (V{"Yesterday", "Bohemian Rhapsody", "Innuendo", "Drop", "La vie en rose"}));
  // The chain stops at its first false term, so the unknown field is never read.
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE " + ands + " AND year < 0 AND nosuch = 1", "title"), V{});
  std::string ors = "id = 0";
  for (int i = 1; i < 500; ++i) ors += " OR id = " + std::to_string(i);
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE " + ors, "title"), (V{"Yesterday", "Bohemian Rhapsody", "Innuendo", "Drop", "La vie en rose", "Silence"}));
  std::string parens(257, '(');
  try {
    Column(j, "SELECT title FROM audio WHERE " + parens + "1" + std::string(257, ')'), "title");
    ADD_FAILURE() << "257-deep parentheses ran";
  } catch (const CKestroSQLExpressionTooDeepException& e) {
    EXPECT_EQ(std::string(e.Message()), "Expression too deep.");
  }
}

TEST(SqlExpressionsTest, DecimalReadingSaturates) {
  const std::pair<const char*, int32_t> cases[] = {
      {"", 0}, {"abc", 0}, {"  -12x", -12}, {"+7", 7}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN}, {"3.9", 3}, {"\t\n5", 5},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ReadDecimalInteger(text), value) << text;
}

TEST(SqlExpressionsTest, AndOrShortCircuit) {
  // The right side would fail (unknown field) if it were evaluated.
  MemoryJukebox j = SmallJukebox();
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE year < 0 AND nosuch = 1", "title"), V{});
  EXPECT_EQ(Column(j, "SELECT title FROM audio WHERE year >= 0 OR nosuch = 1", "title").size(), 6u);
  EXPECT_THROW(Column(j, "SELECT title FROM audio WHERE year > 0 AND nosuch = 1", "title"), CKestroSQLNoSuchFieldException);
}

}  // namespace
}  // namespace hub::test
