// A small player for the engine's tests and a helper that runs one statement.
#pragma once

#include <string>
#include <vector>

#include "sql/result_table.h"
#include "sql/select_statement.h"
#include "sql/tables_jukebox.h"
#include "memory_jukebox.h"

namespace hub::test {

inline MemoryJukebox SmallJukebox() {
  MemoryJukebox j;
  auto track = [&](uint64_t id, std::string artist, std::string album, std::string title, uint32_t year,
                   std::string genre, std::string comment = {}) {
    MemoryTrack t;
    t.id = id;
    t.artist = std::move(artist);
    t.album = std::move(album);
    t.title = std::move(title);
    t.year = year;
    t.genre = std::move(genre);
    t.comment = std::move(comment);
    t.trackNumber = static_cast<uint32_t>(id % 10);
    t.length = 200 + static_cast<uint32_t>(id);
    j.tracks.push_back(t);
  };
  track(11, "The Beatles", "Help!", "Yesterday", 1965, "Rock", "classic");
  track(12, "Queen", "A Night at the Opera", "Bohemian Rhapsody", 1975, "Rock");
  track(13, "queen", "Innuendo", "Innuendo", 1991, "rock");
  track(14, "BEATS", "Beats Vol 1", "Drop", 2001, "Electronic", "club");
  track(15, "Édith Piaf", "Best of", "La vie en rose", 1947, "Chanson");
  track(16, "Anon", "", "Silence", 0, "");
  j.tracks[5].locked = 1;
  j.tracks[0].rating = 99;
  j.tracks[1].rating = 100;
  j.playlists.push_back({501, "Road", {12, 11, 13}});
  j.playlists.push_back({502, "Empty", {}});
  j.playlists.push_back({503, "Calm", {15}});
  j.data.push_back({901, "notes.txt", 3});
  j.Index();
  return j;
}

// Runs a SELECT and answers the rows as "name=value|..." in row-map order.
inline std::vector<std::string> RunRows(QueryDevice& device, const std::string& sql) {
  CTableSourceJukebox source(&device);
  CResultTable result;
  RunSelectStatement(sql, source, result);
  std::vector<std::string> rows;
  for (const auto& row : result.rows()) {
    std::string text;
    for (size_t i = 0; i < row->GetColumnCount(); ++i) {
      if (!text.empty()) text += '|';
      text += row->GetName(i) + "=" + row->GetValueAt(i);
    }
    rows.push_back(text);
  }
  return rows;
}

// The values of one column, in row order.
inline std::vector<std::string> Column(QueryDevice& device, const std::string& sql, const std::string& name) {
  CTableSourceJukebox source(&device);
  CResultTable result;
  RunSelectStatement(sql, source, result);
  std::vector<std::string> values;
  for (const auto& row : result.rows()) {
    const std::string* v = row->Find(name);
    values.push_back(v ? *v : "<missing>");
  }
  return values;
}

}  // namespace hub::test
