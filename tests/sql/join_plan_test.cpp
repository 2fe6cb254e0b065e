// Planned joins give exactly the rows, in exactly the order, of testing WHERE
// on every combination.
#include <gtest/gtest.h>

#include <algorithm>

#include "sql/join_plan.h"
#include "sql/sql_exception.h"
#include "sql_fixture.h"

namespace hub::test {
namespace {

std::vector<std::string> Rows(QueryDevice& device, const std::string& sql, bool planned) {
  CTableSourceJukebox source(&device);
  CSqlParserDriver parser;
  parser.Parse(sql);
  CSelectStatement s(sql, parser.GetStatement(), &source);
  s.SetJoinPlanning(planned);
  s.Prepare();
  CResultTable result;
  s.Execute(result);
  std::vector<std::string> rows;
  for (const auto& row : result.rows()) rows.push_back(row->ValueKey());
  return rows;
}

TEST(SqlJoinPlanTest, PlannedJoinsMatchTheFullProduct) {
  MemoryJukebox j = SmallJukebox();
  j.playlists.push_back({504, "queen", {13, 12, 13}});
  j.playlists.push_back({505, "\xC3", {11}});  // not UTF-8: the index steps aside
  j.tracks[3].artist = "\xC3";
  j.Index();
  const char* queries[] = {
      "SELECT audio.title, playlist.name FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id",
      "SELECT audio.title FROM playlist, plitem, audio WHERE playlist.name = 'road' AND plitem.plid = playlist.id AND audio.id = plitem.aid",
      "SELECT * FROM audio, playlist WHERE audio.artist = playlist.name",
      "SELECT playlist.name, audio.title FROM playlist, audio WHERE playlist.name = audio.artist OR audio.year < 1950",
      "SELECT plitem.id FROM plitem, audio WHERE audio.id = 12 AND plitem.aid = audio.id AND plitem.pos > 0",
      "SELECT audio.title FROM audio, plitem WHERE plitem.aid = audio.id + 0 AND audio.year > 1900",
      "SELECT a FROM audio, audio WHERE audio.id = audio.id",
      "SELECT playlist.id FROM playlist, data WHERE 1 = 1",
      "SELECT DISTINCT audio.genre FROM plitem, audio WHERE audio.id = plitem.aid ORDER BY audio.genre",
      "SELECT audio.title FROM playlist, audio WHERE audio.artist ? playlist.name AND playlist.id <> 501",
      "SELECT playlist.name, audio.title FROM playlist, audio WHERE audio.id = 12",
      "SELECT playlist.name, audio.title FROM playlist, audio WHERE audio.id = '012' OR playlist.id = 1",
      "SELECT playlist.name, audio.title FROM playlist, audio WHERE audio.id = ' 12' OR playlist.id = 1",
      "SELECT audio.title FROM plitem, playlist WHERE playlist.id = plitem.plid AND playlist.id = 99999999999999999999",
  };
  // Rows in id order (found by binary search) and in another order (found through a hash).
  for (bool reversed : {false, true}) {
    if (reversed) {
      std::reverse(j.tracks.begin(), j.tracks.end());
      std::reverse(j.playlists.begin(), j.playlists.end());
      j.playlists.push_back(j.playlists.front());  // the same playlist twice
      j.Index();
    }
    for (const char* sql : queries) {
      std::vector<std::string> full;
      try {
        full = Rows(j, sql, false);
      } catch (const CKestroSQLException& e) {
        EXPECT_THROW(Rows(j, sql, true), CKestroSQLException) << sql;
        continue;
      }
      EXPECT_EQ(Rows(j, sql, true), full) << sql;
    }
  }
}

TEST(SqlJoinPlanTest, StrictUtf8) {
  const std::pair<const char*, bool> cases[] = {
      {"", true}, {"abc", true}, {"\xC3\xA9", true}, {"\xE2\x82\xAC", true}, {"\xF0\x9F\x8E\xB5", true},
      {"\xC3", false}, {"\x80", false}, {"\xC0\x80", false}, {"\xE0\x80\x80", false}, {"\xF4\x90\x80\x80", false},
      {"\xC3\x28", false}, {"a\xE2\x82", false},
  };
  for (const auto& [text, valid] : cases) EXPECT_EQ(IsStrictUtf8(text), valid) << text;
}

}  // namespace
}  // namespace hub::test
