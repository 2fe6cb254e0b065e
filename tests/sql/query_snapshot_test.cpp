// Queries over a device's snapshot: the same rows as walking the device, the
// snapshot following the device's changes, no device lock while a query runs,
// and the row limit that bounds a query's memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "common/kdp_block.h"
#include "sql/select_statement.h"
#include "sql/sql_exception.h"
#include "sql/sql_query_engine.h"
#include "testdevice/memory_device.h"

namespace hub::test {
namespace {

std::vector<std::string> Rows(CTableSource& source, const std::string& sql) {
  CResultTable result;
  RunSelectStatement(sql, source, result);
  std::vector<std::string> rows;
  for (const auto& row : result.rows()) {
    std::string text;
    for (size_t i = 0; i < row->GetColumnCount(); ++i) text += row->GetName(i) + "=" + row->GetValueAt(i) + "|";
    rows.push_back(text);
  }
  return rows;
}

// What walking the device answers, through the same adapter the engine uses.
std::vector<std::string> WalkRows(KernelDevice& device, const std::string& sql) {
  KernelQueryDevice adapter(device);
  CTableSourceJukebox source(&adapter);
  return Rows(source, sql);
}

std::vector<std::string> SnapshotRows(KernelDevice& device, const std::string& sql) {
  CTableSourceKernelDevice source(device);
  return Rows(source, sql);
}

void Fill(MemoryDevice& device, int tracks) {
  const char* artists[] = {"The Beatles", "Queen", "queen", "Дмитрий Шостакович", "Œuvre Ÿ", "", "Édith Piaf"};
  const char* genres[] = {"Rock", "rock", "Jazz", "", "Классика"};
  std::vector<KernelId> ids;
  for (int i = 0; i < tracks; ++i) {
    _AUDIODATA t;
    t.artist.Set(artists[i % 7]);
    t.album.Set("Album " + std::to_string(i % 5));
    t.title.Set("Title " + std::to_string((i * 7) % 13));
    t.genre.Set(genres[i % 5]);
    t.comment.Set(i % 3 ? "" : "note");
    t.composer.Set(i % 4 ? "" : "Someone");
    t.year = i % 6 == 0 ? 0 : 1960 + static_cast<uint32_t>(i % 50);
    t.trackNumber = static_cast<uint32_t>(i % 12);
    t.length = 100 + static_cast<uint32_t>(i);
    t.bitrate = i % 2 ? 128 : 320;
    t.size = 3000 + static_cast<uint32_t>(i * 11);
    t.playCount = static_cast<uint32_t>(i % 4);
    t.rating = static_cast<uint8_t>((i * 13) % 101);
    t.fileType = static_cast<uint8_t>(1 + i % 11);
    t.locked = i % 9 == 0;
    ids.push_back(device.AddTrack(t));
  }
  device.AddPlaylist("Road", {ids[3], ids[1], ids[3], ids[7]});
  device.AddPlaylist("Empty", {});
  device.AddPlaylist("дорога", {ids[0], ids[tracks - 1]});
  device.AddDataFileItem(device.DataRoot(), "notes.txt", 3);
}

TEST(SqlQuerySnapshotTest, SnapshotGivesTheRowsOfTheDeviceWalk) {
  MemoryDevice device;
  device.logCalls = false;
  Fill(device, 60);
  const char* queries[] = {
      "SELECT * FROM audio",
      "SELECT locked, rating, playcount, codec FROM audio",
      "SELECT title, id FROM audio WHERE year >= 1990 AND year <= 1999 ORDER BY title",
      "SELECT DISTINCT artist FROM audio",
      "SELECT id FROM audio WHERE artist = 'ДМИТРИЙ ШОСТАКОВИЧ' OR artist ? 'œuvre'",
      "SELECT title FROM audio WHERE genre = 'rock' AND year > 1970 ORDER BY year DESC, title",
      "SELECT * FROM playlist",
      "SELECT * FROM plitem",
      "SELECT * FROM data",
      "SELECT audio.title, playlist.name FROM playlist, plitem, audio WHERE plitem.plid = playlist.id AND plitem.aid = audio.id",
      "SELECT audio.title FROM playlist, plitem, audio WHERE playlist.name = 'ДОРОГА' AND plitem.plid = playlist.id AND plitem.aid = audio.id",
      "SELECT plitem.id, audio.artist FROM plitem, audio WHERE audio.id = plitem.aid ORDER BY audio.artist",
      "SELECT * FROM playlist, data",
      "SELECT title FROM audio WHERE nosuch = 1",
      "SELECT title FROM audio, playlist",
  };
  for (const char* sql : queries) {
    std::vector<std::string> walk, snapshot;
    std::string walkError, snapshotError;
    try {
      walk = WalkRows(device, sql);
    } catch (const CKestroSQLException& e) {
      walkError = e.GetMessageText();
    }
    try {
      snapshot = SnapshotRows(device, sql);
    } catch (const CKestroSQLException& e) {
      snapshotError = e.GetMessageText();
    }
    EXPECT_EQ(snapshot, walk) << sql;
    EXPECT_EQ(snapshotError, walkError) << sql;
  }
  EXPECT_EQ(SnapshotRows(device, "SELECT id FROM audio WHERE artist = 'дмитрий шостакович'").size(), 9u);
}

TEST(SqlQuerySnapshotTest, SnapshotFollowsTheDevicesChanges) {
  MemoryDevice device;
  device.logCalls = false;
  KernelId a = device.AddTrack("Queen", "Innuendo", "Innuendo");
  KernelId list = device.AddPlaylist("Road", {a});
  EXPECT_EQ(SnapshotRows(device, "SELECT title FROM audio"), (std::vector<std::string>{"title=Innuendo|"}));
  device.AddTrack("Queen", "Jazz", "Mustapha");
  _AUDIODATA record;
  device.GetTrackInfo(a, record);
  record.title.Set("Innuendo (live)");
  device.SetTrackInfo(a, record);
  EXPECT_EQ(SnapshotRows(device, "SELECT title FROM audio"), (std::vector<std::string>{"title=Innuendo (live)|", "title=Mustapha|"}));
  device.RenamePlaylist(list, "Home");
  EXPECT_EQ(SnapshotRows(device, "SELECT name FROM playlist"), (std::vector<std::string>{"name=Home|"}));
  device.DeleteTrack(a);
  EXPECT_EQ(SnapshotRows(device, "SELECT title FROM audio"), (std::vector<std::string>{"title=Mustapha|"}));
  EXPECT_EQ(SnapshotRows(device, "SELECT aid FROM plitem"), WalkRows(device, "SELECT aid FROM plitem"));
}

// A table that stops on its first value until the test lets it go on, so the
// test knows the query is evaluating.
class PausingTable : public CTable {
 public:
  PausingTable(std::unique_ptr<CTable> inner, std::promise<void>& running, std::shared_future<void> go, bool& timedOut)
      : CTable(inner->name(), inner->selectStarColumnCount()),
        inner_(std::move(inner)),
        running_(running),
        go_(std::move(go)),
        timedOut_(timedOut) {}
  void Load() override { inner_->Load(); }
  std::string GetColumnNames(int32_t index) override { return inner_->GetColumnNames(index); }
  std::string GetValue(int32_t row, std::string_view name) override {
    Pause();
    return inner_->GetValue(row, name);
  }
  int32_t GetIntegerValue(int32_t row, std::string_view name) override {
    Pause();
    return inner_->GetIntegerValue(row, name);
  }
  bool HasColumn(std::string_view name) const override { return inner_->HasColumn(name); }
  bool IsRowIdColumn(std::string_view name) const override { return inner_->IsRowIdColumn(name); }
  int32_t GetRowCount() const override { return inner_->GetRowCount(); }
  uint64_t RowRecordId(int32_t row) const override { return inner_->RowRecordId(row); }

 private:
  void Pause() {
    if (paused_) return;
    paused_ = true;
    running_.set_value();
    timedOut_ = go_.wait_for(std::chrono::seconds(20)) != std::future_status::ready;
  }
  std::unique_ptr<CTable> inner_;
  std::promise<void>& running_;
  std::shared_future<void> go_;
  bool& timedOut_;
  bool paused_ = false;
};

class PausingSource : public CTableSource {
 public:
  PausingSource(KernelDevice& device, std::promise<void>& running, std::shared_future<void> go)
      : inner_(device), running_(running), go_(std::move(go)) {}
  std::unique_ptr<CTable> OpenTable(std::string_view name) override {
    auto table = inner_.OpenTable(name);
    if (name != "audio" || !table) return table;
    return std::make_unique<PausingTable>(std::move(table), running_, go_, timedOut);
  }
  bool timedOut = false;

 private:
  CTableSourceKernelDevice inner_;
  std::promise<void>& running_;
  std::shared_future<void> go_;
};

TEST(SqlQuerySnapshotTest, AnotherClientIsAnsweredWhileAQueryRuns) {
  MemoryDevice device;
  device.logCalls = false;
  Fill(device, 200);
  std::promise<void> running, go;
  std::shared_future<void> goFuture = go.get_future().share();
  std::future<void> evaluating = running.get_future();
  size_t rows = 0;
  bool timedOut = false;
  std::thread query([&] {
    PausingSource source(device, running, goFuture);
    CResultTable result;
    RunSelectStatement("SELECT audio.id FROM audio, playlist WHERE audio.year > 1990", source, result);
    rows = result.size();
    timedOut = source.timedOut;
  });
  ASSERT_EQ(evaluating.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  // Another client's request, dispatched as the manager dispatches it.
  auto answered = std::async(std::launch::async, [&] {
    auto block = std::make_unique<KdpBlock>();
    block->selector = kKdpSelectorRequest;
    block->opcode = 2030;  // IsConnected
    device.DispatchRequest(*block);
    return block->result;
  });
  bool answeredInTime = answered.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  go.set_value();
  query.join();
  EXPECT_TRUE(answeredInTime) << "IsConnected waited for the query";
  EXPECT_EQ(answered.get(), 1);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(rows, WalkRows(device, "SELECT audio.id FROM audio, playlist WHERE audio.year > 1990").size());
}

TEST(SqlQuerySnapshotTest, RowLimitEndsAQueryWithAnSqlError) {
  MemoryDevice device;
  device.logCalls = false;
  Fill(device, 40);
  CTableSourceKernelDevice source(device);
  CResultTable result;
  try {
    RunSelectStatement("SELECT audio.id FROM audio, playlist", source, result, 100);
    ADD_FAILURE() << "no error past the limit";
  } catch (const CKestroSQLTooManyRowsException& e) {
    EXPECT_EQ(e.GetMessageText(), "Too many rows.\n\nSQL_MaxRows\n100");
  }
  CResultTable fits;
  RunSelectStatement("SELECT audio.id FROM audio, playlist", source, fits, 120);
  EXPECT_EQ(fits.size(), 120u);
}

// The default limit bounds the memory of a cross join that would build about
// 6.75 million rows; a child process runs it under an address-space limit
// (under AddressSanitizer, whose shadow memory rules that out, a bound on
// its resident set's growth instead).
TEST(SqlQuerySnapshotTest, CrossJoinPastTheLimitStaysWithinItsMemory) {
  constexpr size_t kBoundMb = 1536;
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MemoryDevice device;
    device.logCalls = false;
    std::vector<KernelId> ids;
    for (int i = 0; i < 1500; ++i) ids.push_back(device.AddTrack("Artist", "Album", "Title " + std::to_string(i)));
    for (int p = 0; p < 3; ++p) device.AddPlaylist("List " + std::to_string(p), {ids[0]});
    InstallSqlQueryEngine();
    KernelId first;
    device.RunQuery("SELECT id FROM audio", first);  // the snapshot is built before the baseline
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
#if defined(__SANITIZE_ADDRESS__)
    const long baseKb = before.ru_maxrss;
#else
    rlimit limit{kBoundMb << 20, kBoundMb << 20};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(10);
    const long baseKb = 0;
#endif
    int code = 0;
    try {
      SqlQueryEngine engine;
      engine.RunSelectIds(device, "SELECT audio.id FROM audio, audio, playlist");
      code = 11;  // no error
    } catch (const CKestroSQLTooManyRowsException& e) {
      code = e.detailText() == "SQL_MaxRows" && e.detailNumber() == 1000000 ? 0 : 12;
    } catch (const std::bad_alloc&) {
      code = 13;
    }
    // The device keeps serving.
    if (code == 0 && device.RunQuery("SELECT id FROM audio WHERE title = 'title 7'", first) != 1) code = 14;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (code == 0 && static_cast<size_t>(after.ru_maxrss - baseKb) > kBoundMb * 1024) code = 15;
    _exit(code);
  }
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  pid_t done = 0;
  while ((done = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the child ran past its time";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setrlimit, 11 no error, 12 wrong detail, 13 out of memory, 14 not serving, 15 past the bound";
}

}  // namespace
}  // namespace hub::test
