// Loads and saves a database of 50,000 tracks and 500 playlists and prints the
// medians next to a plain read and a plain write (with the same flush) of the
// same number of bytes, measured in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/records.h"
#include "manager/shoebox/shoebox.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTracks = 50000;
constexpr int kPlaylists = 500;
constexpr int kRuns = 9;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BuildDatabase(hub::Shoebox& db) {
  std::mt19937 rng(42);
  const char* genres[] = {"Rock", "Jazz", "Pop", "Classical", "Electronic"};
  for (int i = 0; i < kTracks; ++i) {
    hub::_AUDIODATA audio;
    int artist = static_cast<int>(rng() % 2000), album = static_cast<int>(rng() % 5);
    std::string a = "Artist " + std::to_string(artist), b = "Album " + std::to_string(album);
    audio.path.Set("E:\\Music\\" + a + "\\" + b + "\\" + std::to_string(i % 20 + 1) + " Track " + std::to_string(i) + ".mp3");
    audio.artist.Set(a);
    audio.album.Set(b);
    audio.title.Set("Track " + std::to_string(i));
    audio.genre.Set(genres[rng() % 5]);
    audio.fileType = hub::kFileTypeMp3;
    audio.size = 3000000 + rng() % 8000000;
    audio.length = 120 + rng() % 400;
    audio.trackNumber = i % 20 + 1;
    audio.year = 1960 + rng() % 60;
    audio.bitrate = 192;
    audio.sampleRate = 44100;
    audio.added = 1700000000 + i;
    hub::SBTrackV100 track;
    hub::TrackFromAudioData(track, audio);
    db.AddTrack(std::move(track), true);
  }
  for (int p = 0; p < kPlaylists; ++p) {
    hub::SBPlaylistV100 playlist;
    playlist.SetName(u"Playlist " + std::u16string(1, char16_t(u'A' + p % 26)));
    for (int k = 0; k < 40; ++k) playlist.items.push_back(hub::kShoeboxFirstId + rng() % kTracks);
    db.AddPlaylist(std::move(playlist), true);
  }
}

bool RawWrite(const std::string& path, const std::vector<uint8_t>& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool RawRead(const std::string& path, std::vector<uint8_t>& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  off_t size = ::lseek(fd, 0, SEEK_END);
  ::lseek(fd, 0, SEEK_SET);
  out.resize(static_cast<size_t>(size));
  bool ok = ::read(fd, out.data(), out.size()) == size;
  ::close(fd);
  return ok;
}

}  // namespace

int main() {
  std::string dir = hub::platform::SystemTempDir() + "/bench_shoebox." + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  const std::string dbPath = dir + "/Quorral.sbx";
  const std::string rawPath = dir + "/raw.bin";

  hub::Shoebox db;
  db.Load(nullptr, nullptr, dbPath, u"E:\\");  // no file yet: sets the path and the player root
  BuildDatabase(db);
  std::vector<uint8_t> bytes = db.Serialize();

  std::vector<double> save, rawWrite, load, rawRead;
  std::string error;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = Clock::now();
    if (!RawWrite(rawPath, bytes)) return std::perror("raw write"), 1;
    auto t1 = Clock::now();
    if (!db.Save(nullptr, error)) return std::fprintf(stderr, "save failed: %s\n", error.c_str()), 1;
    auto t2 = Clock::now();
    std::vector<uint8_t> back;
    if (!RawRead(rawPath, back)) return std::perror("raw read"), 1;
    auto t3 = Clock::now();
    hub::Shoebox loaded;
    if (!loaded.Load(nullptr, nullptr, dbPath, u"E:\\") || loaded.TrackCount() != kTracks) {
      std::fprintf(stderr, "load failed\n");
      return 1;
    }
    auto t4 = Clock::now();
    rawWrite.push_back(Ms(t1 - t0));
    save.push_back(Ms(t2 - t1));
    rawRead.push_back(Ms(t3 - t2));
    load.push_back(Ms(t4 - t3));
  }
  if (std::getenv("BENCH_KEEP")) std::printf("kept %s\n", dbPath.c_str()); else ::unlink(dbPath.c_str());
  ::unlink(rawPath.c_str());
  ::rmdir(dir.c_str());

  std::printf("database: %d tracks, %d playlists, %zu bytes; medians of %d runs\n", kTracks, kPlaylists,
              bytes.size(), kRuns);
  std::printf("load  %8.2f ms   raw read            %8.2f ms   ratio %.2f\n", Median(load), Median(rawRead),
              Median(load) / Median(rawRead));
  std::printf("save  %8.2f ms   raw write and flush %8.2f ms   ratio %.2f\n", Median(save), Median(rawWrite),
              Median(save) / Median(rawWrite));
  return 0;
}
