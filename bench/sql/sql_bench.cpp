// Typical queries over 100,000 tracks of the in-memory test device, next to
// SQLite in memory over the same rows, measured in the same run. Prints the
// best of several runs of each and the ratio engine / SQLite.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "sql/select_statement.h"
#include "sql/sql_query_engine.h"
#include "testdevice/memory_device.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestMs(int runs, F&& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
    std::exit(1);
  }
}

size_t SqliteRun(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  size_t rows = 0, bytes = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
      sqlite3_column_text(stmt, c);
      bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
    }
  }
  sqlite3_finalize(stmt);
  return rows + (bytes == SIZE_MAX ? 1 : 0);
}

size_t EngineRun(hub::KernelDevice& device, const char* sql) {
  hub::CTableSourceKernelDevice source(device);
  hub::CResultTable result;
  hub::RunSelectStatement(sql, source, result);
  return result.size();
}

}  // namespace

int main(int argc, char** argv) {
  const int tracks = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  hub::test::MemoryDevice device;
  device.logCalls = false;
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  Exec(db,
       "CREATE TABLE audio (id INTEGER PRIMARY KEY, artist TEXT, album TEXT, tracknum INTEGER, title TEXT, genre TEXT,"
       " composer TEXT, year INTEGER, comment TEXT, length INTEGER, codec TEXT, bitrate INTEGER, size INTEGER);"
       "CREATE TABLE playlist (id INTEGER PRIMARY KEY, name TEXT);"
       "CREATE TABLE plitem (plid INTEGER, pos INTEGER, aid INTEGER);");

  std::mt19937 rng(42);
  const char* words[] = {"love", "night", "road", "sky", "blue", "dream", "rain", "sun", "heart", "fire", "river", "gold"};
  auto word = [&] { return std::string(words[rng() % 12]); };
  const char* genres[] = {"Rock", "Jazz", "Pop", "Soul", "Electronic", "Classical", "Folk", "Blues"};
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO audio VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
  std::vector<hub::KernelId> ids;
  for (int i = 0; i < tracks; ++i) {
    std::string artist = (rng() % 50 == 0 ? "The Beatles " : "Artist ") + std::to_string(rng() % 2000);
    std::string album = word() + " " + word();
    std::string title = word() + " " + word() + " " + std::to_string(i % 97);
    std::string genre = genres[rng() % 8];
    hub::_AUDIODATA t;
    t.artist.Set(artist);
    t.album.Set(album);
    t.title.Set(title);
    t.genre.Set(genre);
    t.year = 1950 + rng() % 71;
    t.trackNumber = 1 + rng() % 20;
    t.length = 60 + rng() % 600;
    t.bitrate = 128;
    t.size = 3000 + rng() % 9000;
    hub::KernelId id = device.AddTrack(t);
    ids.push_back(id);
    int c = 1;
    sqlite3_bind_int64(insert, c++, static_cast<sqlite3_int64>(id.RecordId()));
    sqlite3_bind_text(insert, c++, artist.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, c++, album.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, c++, static_cast<int>(t.trackNumber));
    sqlite3_bind_text(insert, c++, title.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, c++, genre.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, c++, "", -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, c++, static_cast<int>(t.year));
    sqlite3_bind_text(insert, c++, "", -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, c++, static_cast<int>(t.length));
    sqlite3_bind_text(insert, c++, "mp3", -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, c++, static_cast<int>(t.bitrate));
    sqlite3_bind_int(insert, c++, static_cast<int>(t.size));
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  for (int p = 0; p < 200; ++p) {
    std::string name = "List " + std::to_string(p);
    std::vector<hub::KernelId> items;
    for (int k = 0; k < 50; ++k) items.push_back(ids[rng() % ids.size()]);
    hub::KernelId pl = device.AddPlaylist(name, items);
    Exec(db, "INSERT INTO playlist VALUES (" + std::to_string(pl.RecordId()) + ", '" + name + "')");
    for (size_t k = 0; k < items.size(); ++k) {
      Exec(db, "INSERT INTO plitem VALUES (" + std::to_string(pl.RecordId()) + "," + std::to_string(k) + "," +
                   std::to_string(items[k].RecordId()) + ")");
    }
  }
  Exec(db, "COMMIT");

  struct Query {
    const char* name;
    const char* ours;
    const char* sqlite;
  };
  const Query queries[] = {
      {"artist substring", "SELECT id FROM audio WHERE artist ? 'beatles'", "SELECT id FROM audio WHERE artist LIKE '%beatles%'"},
      {"year range by title", "SELECT title, id FROM audio WHERE year >= 1990 AND year <= 1999 ORDER BY title",
       "SELECT title, id FROM audio WHERE year >= 1990 AND year <= 1999 ORDER BY title"},
      {"distinct artists", "SELECT DISTINCT artist FROM audio", "SELECT DISTINCT artist FROM audio"},
      {"playlist join",
       "SELECT audio.title FROM playlist, plitem, audio WHERE playlist.name = 'List 117' AND plitem.plid = playlist.id AND plitem.aid = audio.id",
       "SELECT audio.title FROM playlist, plitem, audio WHERE playlist.name = 'List 117' AND plitem.plid = playlist.id AND plitem.aid = audio.id"},
      {"full scan", "SELECT * FROM audio", "SELECT * FROM audio"},
      {"year range and genre", "SELECT title, id FROM audio WHERE year >= 1990 AND year <= 1999 AND genre = 'rock' ORDER BY title",
       "SELECT title, id FROM audio WHERE year >= 1990 AND year <= 1999 AND genre = 'rock' COLLATE NOCASE ORDER BY title"},
      {"three-table join",
       "SELECT audio.title, playlist.name FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id",
       "SELECT audio.title, playlist.name FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id"},
  };
  std::printf("%d tracks, best of %d runs\n%-22s %10s %10s %8s %8s\n", tracks, runs, "query", "engine ms", "sqlite ms", "ratio", "rows");
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;  // one query, for profiling
  for (int i = 0; i < static_cast<int>(std::size(queries)); ++i) {
    if (only >= 0 && i != only) continue;
    const Query& q = queries[i];
    size_t ours = 0, theirs = 0;
    double engine = BestMs(runs, [&] { ours = EngineRun(device, q.ours); });
    double sqlite = BestMs(runs, [&] { theirs = SqliteRun(db, q.sqlite); });
    std::printf("%-22s %10.2f %10.2f %8.2f %8zu%s\n", q.name, engine, sqlite, engine / sqlite, ours,
                ours == theirs ? "" : "  (row counts differ)");
  }
  sqlite3_close(db);
  return 0;
}
