// SELECT preparation and execution over the in-memory player: naming, joins,
// errors, DISTINCT, ordering and the tables' columns.
#include <gtest/gtest.h>

#include <functional>

#include "sql/sql_exception.h"
#include "sql_fixture.h"

namespace hub::test {
namespace {

using V = std::vector<std::string>;

CSelectStatement Prepared(CSqlParserDriver& parser, CTableSource* source, const std::string& sql) {
  parser.Parse(sql);
  CSelectStatement s(sql, parser.GetStatement(), source);
  s.Prepare();
  return s;
}

TEST(SqlSelectTest, PrepareNamesItemsAndKeys) {
  CSqlParserDriver parser;
  auto star = Prepared(parser, nullptr, "SELECT * FROM audio");
  ASSERT_EQ(star.selectExpressions().size(), 1u);
  EXPECT_EQ(star.selectExpressions()[0]->kind(), kExpSelectStar);
  EXPECT_EQ(star.selectNames(), V{""});

  auto named = Prepared(parser, nullptr,
                        "SELECT title, year + 1, artist AS who, comment = NULL FROM audio, playlist ORDER BY audio.title, title DESC");
  EXPECT_EQ(named.selectNames(), (V{"title", "year + 1", "who", "comment =  NULL "}));
  EXPECT_EQ(named.fromNames(), (V{"audio", "playlist"}));
  EXPECT_EQ(named.orderByNames(), (V{"audio.title", "title"}));
  EXPECT_EQ(named.orderByAscending(), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(named.where(), nullptr);
  EXPECT_EQ(named.columnReferences(), (V{".title", ".year", ".artist", ".comment"}));
}

// Hand-built statements: an item without an expression is refused, and items
// before "*" keep their names aligned with their expressions.
TEST(SqlSelectTest, HandBuiltSelectListsStayAligned) {
  MemoryJukebox j = SmallJukebox();
  CTableSourceJukebox source(&j);
  auto tree = std::make_shared<platform::SqlStatementTree>();
  tree->from.push_back({"playlist"});
  tree->select.push_back({{{"name", platform::kSqlNodeColumn}}, "n"});
  tree->select.push_back({{{"*", platform::kSqlNodeSelectStar}}, ""});
  tree->select.push_back({{{"id", platform::kSqlNodeColumn}}, "never read"});
  CSelectStatement s("hand", CSqlStatementDriver(tree), &source);
  s.Prepare();
  EXPECT_EQ(s.selectNames(), (V{"n", ""}));
  CResultTable result;
  s.Execute(result);
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(*result.rows()[0]->Find("n"), "Road");
  EXPECT_EQ(*result.rows()[0]->Find("id"), "501");
  EXPECT_EQ(result.rows()[0]->Find("never read"), nullptr);

  auto empty = std::make_shared<platform::SqlStatementTree>();
  empty->from.push_back({"audio"});
  empty->select.push_back({{}, ""});
  CSelectStatement bad("hand", CSqlStatementDriver(empty), &source);
  try {
    bad.Prepare();
    FAIL();
  } catch (const CKestroSQLBadSelectExpressionException& e) {
    EXPECT_EQ(e.detailNumber(), 0);
  }
}

TEST(SqlSelectTest, JoinsComeInNestedOrder) {
  MemoryJukebox j = SmallJukebox();
  auto rows = RunRows(j,
                  "SELECT audio.title, playlist.name FROM playlist, plitem, audio "
                  "WHERE plitem.plid = playlist.id AND plitem.aid = audio.id");
  EXPECT_EQ(rows, (V{"playlist.name=Road|audio.title=Bohemian Rhapsody", "playlist.name=Road|audio.title=Yesterday",
                     "playlist.name=Road|audio.title=Innuendo", "playlist.name=Calm|audio.title=La vie en rose"}));
  // A join's "*" gives every table's select-star columns as table.column.
  auto star = RunRows(j, "SELECT * FROM playlist, data WHERE playlist.id = 503");
  EXPECT_EQ(star, (V{"data.size=3|playlist.id=503|data.name=notes.txt|data.id=901|playlist.name=Calm"}));
  // A join with an empty table has no rows, whatever the WHERE.
  j.data.clear();
  EXPECT_EQ(RunRows(j, "SELECT title FROM audio, data").size(), 0u);
}

struct ErrorCase {
  const char* sql;
  std::function<bool(const CKestroSQLException&)> isClass;
  const char* message;
  const char* detail;
  int32_t number;
};

TEST(SqlSelectTest, FailuresNameTheirCause) {
  MemoryJukebox j = SmallJukebox();
  auto is = [](auto* tag) {
    using T = std::remove_pointer_t<decltype(tag)>;
    return std::function<bool(const CKestroSQLException&)>([](const CKestroSQLException& e) { return dynamic_cast<const T*>(&e) != nullptr; });
  };
  const ErrorCase cases[] = {
      {"SELECT title FROM audio, playlist", is((CKestroSQLBadJoinRowFieldException*)nullptr), "Bad join row field.", "title", 0},
      {"SELECT title FROM audio WHERE audio.year > 1990", is((CKestroSQLNoSuchFieldException*)nullptr), "No such field.", "audio.year", 0},
      {"SELECT * FROM nosuch", is((CKestroSQLNoSuchTableException*)nullptr), "No such table.", "nosuch", 0},
      {"SELECT * FROM Audio", is((CKestroSQLNoSuchTableException*)nullptr), "No such table.", "Audio", 0},
      {"SELECT 1", is((CKestroSQLNoTablesSpecifiedException*)nullptr), "No tables specified.", "", 0},
      {"SELECT title FROM audio ORDER BY artist", is((CKestroSQLNoSuchFieldException*)nullptr), "No such field.", "artist", 0},
      {"SELECT audio.title FROM audio, playlist WHERE nosuch.x = 1", is((CKestroSQLNoSuchFieldException*)nullptr), "No such field.", "nosuch.x", 0},
      {"SELECT title FROM audio WHERE title = 'x", is((CKestroSQLSyntaxException*)nullptr), "Syntax error.", "'x", 38},
  };
  for (const ErrorCase& c : cases) {
    try {
      RunRows(j, c.sql);
      ADD_FAILURE() << "no error: " << c.sql;
    } catch (const CKestroSQLException& e) {
      EXPECT_TRUE(c.isClass(e)) << c.sql;
      EXPECT_STREQ(e.Message(), c.message) << c.sql;
      EXPECT_EQ(e.detailText(), c.detail) << c.sql;
      EXPECT_EQ(e.detailNumber(), c.number) << c.sql;
    }
  }
  // ORDER BY on a missing column fails only once there are two rows to compare.
  EXPECT_EQ(RunRows(j, "SELECT title FROM audio WHERE id = 11 ORDER BY artist").size(), 1u);
  CKestroSQLNoSuchTableException missing("albums");
  EXPECT_EQ(missing.GetMessageText(), "No such table.\n\nalbums\n0");
}

TEST(SqlSelectTest, DistinctComparesValuesAndKeepsTheFirst) {
  MemoryJukebox j = SmallJukebox();
  EXPECT_EQ(Column(j, "SELECT DISTINCT artist FROM audio WHERE genre ? 'rock'", "artist"), (V{"The Beatles", "Queen", "queen"}));
  EXPECT_EQ(Column(j, "SELECT DISTINCT genre FROM audio", "genre"), (V{"Rock", "rock", "Electronic", "Chanson", ""}));
  // Values that concatenate alike are still different rows.
  j.tracks[0].artist = "ab";
  j.tracks[0].album = "c";
  j.tracks[1].artist = "a";
  j.tracks[1].album = "bc";
  j.Index();
  EXPECT_EQ(RunRows(j, "SELECT DISTINCT artist, album FROM audio WHERE id < 13").size(), 2u);
  // Duplicates go before sorting.
  EXPECT_EQ(Column(j, "SELECT DISTINCT year > 1970 AS modern FROM audio ORDER BY modern DESC", "modern"), (V{"1", "0"}));
}

TEST(SqlSelectTest, OrderByDigitsAsNumbersAndTextByBytes) {
  MemoryJukebox j = SmallJukebox();
  j.tracks[0].year = 1999;
  j.tracks[1].year = 0;
  j.tracks[1].comment = "";
  j.Index();
  // The empty text counts as a number (0): it sorts first.
  EXPECT_EQ(Column(j, "SELECT title, comment FROM audio WHERE id < 13 OR id = 14 ORDER BY comment", "comment"), (V{"", "classic", "club"}));
  EXPECT_EQ(Column(j, "SELECT title FROM audio ORDER BY title", "title"),
            (V{"Bohemian Rhapsody", "Drop", "Innuendo", "La vie en rose", "Silence", "Yesterday"}));
  EXPECT_EQ(Column(j, "SELECT artist FROM audio ORDER BY artist DESC", "artist"),
            (V{"Édith Piaf", "queen", "The Beatles", "Queen", "BEATS", "Anon"}));
  // Ties keep their scan order (stable), under both directions.
  EXPECT_EQ(Column(j, "SELECT title, genre FROM audio WHERE genre ? 'rock' ORDER BY genre DESC", "title"),
            (V{"Innuendo", "Yesterday", "Bohemian Rhapsody"}));
  // 64-bit ids and long digit strings compare as numbers, not through atoi.
  j.tracks[0].id = 18446744073709551615ull;
  j.tracks[1].id = 4294967296ull;
  j.tracks[2].id = 9;
  j.Index();
  EXPECT_EQ(Column(j, "SELECT id FROM audio WHERE id <> 14 AND id <> 15 AND id <> 16 ORDER BY id", "id"),
            (V{"9", "4294967296", "18446744073709551615"}));
  EXPECT_EQ(CompareResultValues("007", "7"), 0);
  EXPECT_LT(CompareResultValues("-5", "3"), 0);  // "-5" is text
  EXPECT_GT(CompareResultValues("3.5", "10"), 0);
}

TEST(SqlSelectTest, TablesServeTheirColumns) {
  MemoryJukebox j = SmallJukebox();
  auto star = RunRows(j, "SELECT * FROM audio WHERE id = 11");
  ASSERT_EQ(star.size(), 1u);
  // Thirteen columns, in the row map's bucket order.
  EXPECT_EQ(star[0],
            "codec=mp3|title=Yesterday|composer=|size=0|length=211|artist=The Beatles|album=Help!|id=11|bitrate=0|"
            "comment=classic|year=1965|genre=Rock|tracknum=1");
  EXPECT_EQ(RunRows(j, "SELECT locked, rating, playcount FROM audio WHERE id = 16 OR id < 13"),
            (V{"playcount=0|locked=0|rating=4", "playcount=0|locked=0|rating=5", "playcount=0|locked=1|rating=0"}));
  EXPECT_EQ(RunRows(j, "SELECT * FROM plitem"),
            (V{"aid=12|plid=501|id=5010|pos=0", "aid=11|plid=501|id=5011|pos=1", "aid=13|plid=501|id=5012|pos=2",
               "aid=15|plid=503|id=5030|pos=0"}));
  EXPECT_EQ(RunRows(j, "SELECT * FROM data"), (V{"size=3|id=901|name=notes.txt"}));
  // Numbers are signed 32-bit as printed, whether read as text or as numbers.
  j.tracks[0].size = 4294967295u;
  j.tracks[0].year = 3000000000u;
  j.Index();
  EXPECT_EQ(RunRows(j, "SELECT size, year, size < 0 AS a, year + 0 AS b, id > 10 AS c FROM audio WHERE id = 11"),
            (V{"size=-1|a=1|b=-1294967296|c=1|year=-1294967296"}));
  j.data.clear();
  EXPECT_EQ(RunRows(j, "SELECT id FROM data").size(), 0u);
}

TEST(SqlSelectTest, OneRecordFetchPerRowWhateverTheColumns) {
  MemoryJukebox j = SmallJukebox();
  j.trackInfoCalls = 0;
  RunRows(j, "SELECT id FROM audio WHERE id > 12");
  EXPECT_EQ(j.trackInfoCalls, 0);
  RunRows(j, "SELECT artist, title, year FROM audio WHERE artist ? 'e' OR year > 1900");
  EXPECT_EQ(j.trackInfoCalls, 6);
}

TEST(SqlSelectTest, NonSelectStatementsAreNotRun) {
  MemoryJukebox j = SmallJukebox();
  CTableSourceJukebox source(&j);
  CResultTable result;
  EXPECT_EQ(RunSelectStatement("DELETE FROM audio", source, result), platform::kSqlStatementDelete);
  EXPECT_EQ(result.size(), 0u);
}

}  // namespace
}  // namespace hub::test
