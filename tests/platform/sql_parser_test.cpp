// The SELECT parser: postfix node lists, clause lists, refusals and limits.
#include "platform/sqlparser/sql_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace hub::platform {
namespace {

// Node list rendered as "text:kind" items joined by blanks, for compact tables.
std::string Postfix(const SqlNodeList& nodes) {
  std::string out;
  for (const SqlNode& n : nodes) {
    if (!out.empty()) out += ' ';
    out += n.text + ":" + std::to_string(n.kind);
  }
  return out;
}

std::shared_ptr<const SqlStatementTree> ParseSelect(const std::string& sql) {
  SqlParser parser;
  parser.Parse(sql);
  EXPECT_EQ(parser.GetStatementType(), kSqlStatementSelect) << sql;
  return parser.GetStatement();
}

struct WhereCase {
  const char* where;
  const char* postfix;
};

TEST(SqlParserTest, WhereClausesComeOutInPostfixOrder) {
  const WhereCase cases[] = {
      {"artist?'Band' AND year>1965", "artist:2 'Band':7 ?:5 year:2 1965:7 >:5 AND:4"},
      {"a=1 OR b=2 AND c=3", "a:2 1:7 =:5 b:2 2:7 =:5 c:2 3:7 =:5 AND:4 OR:4"},
      {"(a=1 OR b=2) and c=3", "a:2 1:7 =:5 b:2 2:7 =:5 OR:4 c:2 3:7 =:5 and:4"},
      {"year + 1 * 2 - 3 / 4 > 0", "year:2 1:7 2:7 *:3 +:3 3:7 4:7 /:3 -:3 0:7 >:5"},
      {"genre != 'rock'", "genre:2 'rock':7 <>:5"},
      {"comment IS NULL", "comment:2 NULL:9 =:5"},
      {"comment is not null", "comment:2 null:9 <>:5"},
      {"title = 'it''s'", "title:2 'it''s':7 =:5"},
      {"year = 02000", "year:2 02000:7 =:5"},
      {"x >= -5 AND y <= 3.50", "x:2 -5:7 >=:5 y:2 3.50:7 <=:5 AND:4"},
      {"audio.id = plitem.aid", "audio.id:2 plitem.aid:2 =:5"},
      {"genre # 'pop' OR a <> b", "genre:2 'pop':7 #:5 a:2 b:2 <>:5 OR:4"},
      {"locked", "locked:2"},
      {"title = NULL", "title:2 NULL:9 =:5"},
  };
  for (const WhereCase& c : cases) {
    auto tree = ParseSelect(std::string("SELECT id FROM audio WHERE ") + c.where + ";");
    EXPECT_EQ(Postfix(tree->where), c.postfix) << c.where;
  }
}

TEST(SqlParserTest, ClausesFillTheirLists) {
  auto tree = ParseSelect(
      "select distinct audio.title, year + 1, artist AS who, album a FROM playlist, plitem, audio "
      "ORDER BY audio.title DESC, year ASC, who");
  EXPECT_EQ(tree->distinct, 1);
  ASSERT_EQ(tree->select.size(), 4u);
  EXPECT_EQ(Postfix(tree->select[0].expression), "audio.title:2");
  EXPECT_EQ(Postfix(tree->select[1].expression), "year:2 1:7 +:3");
  EXPECT_EQ(tree->select[1].alias, "");
  EXPECT_EQ(tree->select[2].alias, "who");
  EXPECT_EQ(tree->select[3].alias, "a");
  ASSERT_EQ(tree->from.size(), 3u);
  EXPECT_EQ(tree->from[0].name, "playlist");
  EXPECT_EQ(tree->from[2].name, "audio");
  ASSERT_EQ(tree->orderBy.size(), 3u);
  EXPECT_EQ(tree->orderBy[0].column.qualifier, "audio");
  EXPECT_EQ(tree->orderBy[0].column.name, "title");
  EXPECT_EQ(tree->orderBy[0].ascending, 0);
  EXPECT_EQ(tree->orderBy[1].ascending, 1);
  EXPECT_EQ(tree->orderBy[2].column.qualifier, "");
  EXPECT_TRUE(tree->where.empty());
  EXPECT_TRUE(tree->secondCondition.empty());
  EXPECT_EQ(tree->columns.size(), 4u);

  auto star = ParseSelect("SELECT * FROM audio");
  ASSERT_EQ(star->select.size(), 1u);
  EXPECT_EQ(Postfix(star->select[0].expression), "*:1");
  EXPECT_EQ(star->distinct, 0);

  auto bare = ParseSelect("SELECT 1");
  EXPECT_TRUE(bare->from.empty());
}

TEST(SqlParserTest, OtherStatementsAreRecognisedNotRead) {
  const std::pair<const char*, int32_t> cases[] = {
      {"DELETE FROM audio", kSqlStatementDelete},
      {"update audio set x = 1", kSqlStatementUpdate},
      {"INSERT INTO audio VALUES (1)", kSqlStatementInsert},
      {"DROP TABLE audio ((( '", kSqlStatementOther},
  };
  for (const auto& [sql, type] : cases) {
    SqlParser parser;
    parser.Parse(sql);
    EXPECT_EQ(parser.GetStatementType(), type) << sql;
    EXPECT_EQ(parser.GetStatement(), nullptr);
  }
}

struct BadCase {
  const char* sql;
  int32_t offset;
};

TEST(SqlParserTest, RefusesWhatTheEngineWouldIgnore) {
  const BadCase cases[] = {
      {"", 0},
      {"SELEC id FROM audio", 0},
      {"SELECT id FROM audio GROUP BY artist", 21},
      {"SELECT id FROM audio WHERE artist LIKE 'a%'", 34},
      {"SELECT id FROM audio WHERE NOT locked", 27},
      {"SELECT count(id) FROM audio", 7},
      {"SELECT id FROM audio WHERE id = (SELECT 1)", 33},
      {"SELECT id FROM audio HAVING 1", 21},
      {"SELECT title, * FROM audio", 14},
      {"SELECT * , title FROM audio", 9},
      {"SELECT id FROM audio WHERE title = 'open", 35},
      {"SELECT id FROM audio WHERE", 26},
      {"SELECT id FROM audio WHERE a = 1 = 2", 33},
      {"SELECT id FROM audio; SELECT 1", 22},
      {"SELECT id FROM audio WHERE x = 12abc", 31},
      {"SELECT id FROM audio WHERE x ! 1", 29},
      {"SELECT id FROM audio ORDER BY year + 1", 35},
      {"SELECT id FROM audio LIMIT 5", 21},
  };
  for (const BadCase& c : cases) {
    SqlParser parser;
    try {
      parser.Parse(c.sql);
      ADD_FAILURE() << "accepted: " << c.sql;
    } catch (const SqlSyntaxError& e) {
      EXPECT_STREQ(e.what(), "Syntax error.");
      EXPECT_EQ(e.offset(), c.offset) << c.sql;
      EXPECT_EQ(e.near(), std::string(c.sql).substr(c.offset, 24)) << c.sql;
      EXPECT_EQ(parser.GetStatement(), nullptr);
      EXPECT_EQ(parser.GetStatementType(), 0);
    }
  }
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(SqlParserTest, DeepNestingIsRefusedNotOverflowed) {
  std::string open(100000, '(');
  EXPECT_THROW(SqlParser().Parse("SELECT id FROM audio WHERE " + open + "1"), SqlTooDeepError);
  // The limit counts nesting; a chain of one operator is one level however long.
  struct Case {
    std::string where;
    bool parses;
  };
  const Case cases[] = {
      {"1" + Repeat(" + 1", 200) + " = 201", true},
      {"a = 1" + Repeat(" AND a = 1", 499), true},
      {"a = 1" + Repeat(" OR a = 1", 4999), true},
      {"a" + Repeat(" * a", 3000) + Repeat(" - a", 3000) + " > 0", true},
      {"a = 1" + Repeat(" AND b = 2 OR c = 3", 1000), true},
      {Repeat("(", 256) + "1" + Repeat(")", 256), true},
      {Repeat("(", 257) + "1" + Repeat(")", 257), false},
      {Repeat("(1 + ", 256) + "1" + Repeat(")", 256), false},  // operands inside operands
      {Repeat("a = (", 300) + "1" + Repeat(")", 300), false},
  };
  for (const Case& c : cases) {
    std::string sql = "SELECT id FROM audio WHERE " + c.where;
    if (c.parses) {
      EXPECT_NO_THROW(SqlParser().Parse(sql)) << c.where.substr(0, 60);
    } else {
      EXPECT_THROW(SqlParser().Parse(sql), SqlTooDeepError) << c.where.substr(0, 60);
    }
  }
}

TEST(SqlParserTest, StatementOutlivesItsParser) {
  std::shared_ptr<const SqlStatementTree> tree;
  {
    SqlParser parser;
    parser.Parse("SELECT title FROM audio");
    tree = parser.GetStatement();
  }
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->from[0].name, "audio");
}

}  // namespace
}  // namespace hub::platform
