// Differential test: generated tracks and playlists loaded into the test
// device and into SQLite in memory; queries whose meaning both dialects share
// must give the same rows (in the same order where ORDER BY fixes it).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <random>

#include "sql/select_statement.h"
#include "sql/sql_query_engine.h"
#include "testdevice/memory_device.h"

namespace hub::test {
namespace {

class SqliteDb {
 public:
  SqliteDb() { EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK); }
  ~SqliteDb() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << "\n" << sql;
  }
  std::vector<std::string> Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    std::vector<std::string> rows;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db_) << "\n" << sql;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        row += std::string(sqlite3_column_name(stmt, c)) + "=" + (text ? reinterpret_cast<const char*>(text) : "") + "|";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
  }
  sqlite3* db() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// Our rows rendered like SQLite's: the columns in the given order.
std::vector<std::string> OurRows(KernelDevice& device, const std::string& sql, const std::vector<std::string>& columns) {
  CTableSourceKernelDevice source(device);
  CResultTable result;
  RunSelectStatement(sql, source, result);
  std::vector<std::string> rows;
  for (const auto& row : result.rows()) {
    std::string text;
    for (const std::string& c : columns) {
      const std::string* v = row->Find(c);
      text += c + "=" + (v ? *v : "<missing>") + "|";
    }
    rows.push_back(text);
  }
  return rows;
}

struct Pair {
  const char* ours;
  const char* sqlite;  // columns aliased to our result names
  std::vector<std::string> columns;
  bool ordered;
};

TEST(SqlDifferentialTest, SameRowsAsSqlite) {
  MemoryDevice device;
  SqliteDb db;
  db.Exec(
      "CREATE TABLE audio (id INTEGER, artist TEXT COLLATE NOCASE, album TEXT COLLATE NOCASE, title TEXT COLLATE NOCASE,"
      " genre TEXT COLLATE NOCASE, year INTEGER, tracknum INTEGER, length INTEGER, bitrate INTEGER);"
      "CREATE TABLE playlist (id INTEGER, name TEXT COLLATE NOCASE);"
      "CREATE TABLE plitem (plid INTEGER, pos INTEGER, aid INTEGER);");

  std::mt19937 rng(20261210);
  const std::vector<std::string> artists = {"Queen", "QUEEN", "queen", "The Beatles", "ABBA", "Abba", "Miles Davis",
                                            "the the", "Nina Simone", "Pink Floyd", "Blur", "Oasis"};
  const std::vector<std::string> genres = {"Rock", "rock", "Jazz", "Pop", "Classic Rock", "Soul", ""};
  const std::vector<std::string> words = {"love", "Night", "road", "Sky", "blue", "Dream", "it's", "rain", "Sun", "heart"};
  auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };
  std::vector<KernelId> ids;
  db.Exec("BEGIN");
  for (int i = 0; i < 300; ++i) {
    _AUDIODATA r;
    std::string artist = pick(artists), album = pick(words) + " " + pick(words), title = pick(words) + " " + pick(words);
    std::string genre = pick(genres);
    uint32_t year = rng() % 8 == 0 ? 0 : 1950 + rng() % 71;
    r.artist.Set(artist);
    r.album.Set(album);
    r.title.Set(title);
    r.genre.Set(genre);
    r.year = year;
    r.trackNumber = 1 + rng() % 20;
    r.length = 60 + rng() % 600;
    r.bitrate = 128;
    KernelId id = device.AddTrack(r);
    ids.push_back(id);
    db.Exec("INSERT INTO audio VALUES (" + std::to_string(id.RecordId()) + "," + Quote(artist) + "," + Quote(album) + "," +
            Quote(title) + "," + Quote(genre) + "," + std::to_string(year) + "," + std::to_string(r.trackNumber) + "," +
            std::to_string(r.length) + ",128)");
  }
  for (int p = 0; p < 12; ++p) {
    std::vector<KernelId> items;
    size_t n = p == 5 ? 0 : 1 + rng() % 25;
    for (size_t k = 0; k < n; ++k) items.push_back(ids[rng() % ids.size()]);
    std::string name = "Mix " + std::to_string(p);
    KernelId pl = device.AddPlaylist(name, items);
    db.Exec("INSERT INTO playlist VALUES (" + std::to_string(pl.RecordId()) + "," + Quote(name) + ")");
    for (size_t k = 0; k < items.size(); ++k) {
      db.Exec("INSERT INTO plitem VALUES (" + std::to_string(pl.RecordId()) + "," + std::to_string(k) + "," +
              std::to_string(items[k].RecordId()) + ")");
    }
  }
  db.Exec("COMMIT");

  const Pair pairs[] = {
      {"SELECT id FROM audio WHERE artist = 'queen'", "SELECT id FROM audio WHERE artist = 'queen'", {"id"}, false},
      {"SELECT id, title FROM audio WHERE year >= 1980 AND year < 1990 OR genre = 'jazz'",
       "SELECT id, title FROM audio WHERE year >= 1980 AND year < 1990 OR genre = 'jazz'", {"id", "title"}, false},
      {"SELECT id FROM audio WHERE artist ? 'the'", "SELECT id FROM audio WHERE artist LIKE '%the%'", {"id"}, false},
      {"SELECT id FROM audio WHERE genre # 'ROCK' AND year <> 0", "SELECT id FROM audio WHERE genre NOT LIKE '%rock%' AND year <> 0", {"id"}, false},
      {"SELECT id FROM audio WHERE title ? 'love' AND NULL = ''", "SELECT id FROM audio WHERE title LIKE '%love%'", {"id"}, false},
      {"SELECT title, id FROM audio WHERE year > 2000 ORDER BY title, id",
       "SELECT title, id FROM audio WHERE year > 2000 ORDER BY title COLLATE BINARY, id", {"title", "id"}, true},
      {"SELECT id, year FROM audio ORDER BY year DESC, id", "SELECT id, year FROM audio ORDER BY year DESC, id", {"id", "year"}, true},
      {"SELECT artist, id FROM audio WHERE length > 500 ORDER BY artist DESC, id DESC",
       "SELECT artist, id FROM audio WHERE length > 500 ORDER BY artist COLLATE BINARY DESC, id DESC", {"artist", "id"}, true},
      {"SELECT DISTINCT artist FROM audio", "SELECT DISTINCT artist COLLATE BINARY AS artist FROM audio", {"artist"}, false},
      {"SELECT DISTINCT genre, year > 1990 AS late FROM audio",
       "SELECT DISTINCT genre COLLATE BINARY AS genre, year > 1990 AS late FROM audio", {"genre", "late"}, false},
      {"SELECT id FROM audio WHERE tracknum * 30 > length / 2 + 1", "SELECT id FROM audio WHERE tracknum * 30 > length / 2 + 1", {"id"}, false},
      {"SELECT audio.title, playlist.name FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id",
       "SELECT audio.title AS \"audio.title\", playlist.name AS \"playlist.name\" FROM playlist, plitem, audio "
       "WHERE plitem.plid = playlist.id AND plitem.aid = audio.id",
       {"audio.title", "playlist.name"}, false},
      {"SELECT audio.id, plitem.pos FROM playlist, plitem, audio WHERE playlist.name = 'mix 3' AND plitem.plid = playlist.id "
       "AND plitem.aid = audio.id ORDER BY plitem.pos",
       "SELECT audio.id AS \"audio.id\", plitem.pos AS \"plitem.pos\" FROM playlist, plitem, audio WHERE playlist.name = 'mix 3' "
       "AND plitem.plid = playlist.id AND plitem.aid = audio.id ORDER BY plitem.pos",
       {"audio.id", "plitem.pos"}, true},
      {"SELECT DISTINCT audio.genre FROM plitem, audio WHERE plitem.aid = audio.id AND audio.year > 1970",
       "SELECT DISTINCT audio.genre COLLATE BINARY AS \"audio.genre\" FROM plitem, audio WHERE plitem.aid = audio.id AND audio.year > 1970",
       {"audio.genre"}, false},
      {"SELECT playlist.name, audio.artist FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id "
       "AND (audio.artist = 'abba' OR audio.genre = 'soul')",
       "SELECT playlist.name AS \"playlist.name\", audio.artist AS \"audio.artist\" FROM playlist, plitem, audio "
       "WHERE plitem.plid = playlist.id AND plitem.aid = audio.id AND (audio.artist = 'abba' OR audio.genre = 'soul')",
       {"playlist.name", "audio.artist"}, false},
      {"SELECT playlist.name FROM playlist, plitem WHERE plitem.plid = playlist.id AND plitem.pos = 0",
       "SELECT playlist.name AS \"playlist.name\" FROM playlist, plitem WHERE plitem.plid = playlist.id AND plitem.pos = 0",
       {"playlist.name"}, false},
  };
  for (const Pair& p : pairs) {
    std::vector<std::string> ours = OurRows(device, p.ours, p.columns);
    std::vector<std::string> theirs = db.Rows(p.sqlite);
    if (!p.ordered) {
      std::sort(ours.begin(), ours.end());
      std::sort(theirs.begin(), theirs.end());
    }
    EXPECT_FALSE(theirs.empty()) << p.sqlite;
    EXPECT_EQ(ours, theirs) << p.ours;
  }
}

}  // namespace
}  // namespace hub::test
