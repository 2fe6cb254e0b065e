#include "shell/namespace/shell_ext_routines.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "common/product_profile.h"
#include "common/sortable_id_array.h"
#include "platform/registry/registry.h"
#include "shell/namespace/transfer_services.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::Registry;

UserLocale English() {
  UserLocale l;
  l.thousandsSeparator = ",";
  l.grouping = "\3";
  return l;
}

TEST(ShellExtRoutines, NumberAndTextTables) {
  UserLocale english = English();
  UserLocale noFraction = English();
  noFraction.fractionDigits = 0;
  UserLocale indian = English();
  indian.grouping = std::string("\3\2", 2);
  UserLocale german = English();
  german.thousandsSeparator = ".";
  german.decimalPoint = ",";
  UserLocale plain;  // the C locale: no grouping
  struct Case {
    int32_t n;
    const UserLocale* locale;
    const char* text;
  } cases[] = {
      {0, &english, "0"},           {999, &english, "999"},          {1234, &english, "1,234"},
      {1234, &noFraction, "1,234"}, {1234567, &english, "1,234,567"}, {-1234567, &english, "-1,234,567"},
      {INT32_MIN, &english, "-2,147,483,648"}, {12345678, &indian, "1,23,45,678"},
      {1234567, &german, "1.234.567"}, {1234567, &plain, "1234567"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatNumberGrouped(c.n, *c.locale), c.text) << c.n;

  EXPECT_EQ(FormatNumberLocale(1234.5, english), "1,234.50");
  EXPECT_EQ(FormatNumberLocale(-1234567.126, german), "-1.234.567,13");
  EXPECT_EQ(FormatNumberLocale(2.0, noFraction), "2");

  struct NumberCase {
    const char* text;
    bool number;
  } numbers[] = {{nullptr, false}, {"", false}, {"12a", false}, {"0042", true}, {"7", true}, {"-1", false}, {" 1", false}};
  for (const NumberCase& c : numbers) EXPECT_EQ(IsNumber(c.text), c.number) << (c.text ? c.text : "(null)");

  struct PathCase {
    const char* in;
    const char* out;
  } paths[] = {{"/music/", "/music"}, {"/music", "/music"}, {"", ""}, {"/", "/"}, {"C:\\Music\\", "C:\\Music"}, {"a//", "a/"}};
  for (const PathCase& c : paths) EXPECT_EQ(RemoveTrailingBackslash(c.in), c.out) << c.in;
}

TEST(ShellExtRoutines, TimesInTheLocaleAndUnconvertibleOnesEmpty) {
  UserLocale l;
  l.dateFormat = "%Y-%m-%d";
  l.timeFormat = "%H:%M";
  std::tm tm{};
  tm.tm_year = 105;
  tm.tm_mon = 2;
  tm.tm_mday = 14;
  tm.tm_hour = 21;
  tm.tm_min = 5;
  tm.tm_isdst = -1;
  int64_t t = std::mktime(&tm);
  EXPECT_EQ(FormatDateTime(t, l), "2005-03-14 21:05");
  SYSTEMTIME st{};
  ASSERT_TRUE(TimeToSystemTime(t, st));
  EXPECT_EQ(st.wYear, 2005);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDayOfWeek, 1);
  EXPECT_EQ(st.wMilliseconds, 0);

  SYSTEMTIME untouched{};
  untouched.wYear = 77;
  EXPECT_FALSE(TimeToSystemTime(INT64_MAX, untouched));
  EXPECT_EQ(untouched.wYear, 77);
  EXPECT_EQ(FormatDateTime(INT64_MAX, l), "");
  EXPECT_EQ(FormatDateTime(INT64_MIN), "");
}

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
  }
  void TearDown() override { Registry::Instance().DeleteKey(Hive::CurrentUser, TheProductProfile().productRegistryKey); }
};

TEST_F(RegistryValues, ReadBinaryTable) {
  std::string big(5000, 'x');
  big[0] = 'A';
  ASSERT_EQ(WriteRegBinary("Big", big.data(), static_cast<uint32_t>(big.size())), kErrorSuccess);
  ASSERT_EQ(WriteRegBinary("Small", "abc", 3), kErrorSuccess);
  ASSERT_TRUE(Registry::Instance().Write(Hive::CurrentUser, TheProductProfile().productRegistryKey, "Word",
                                         platform::RegistryValue::Dword(7)));

  struct Case {
    const char* name;
    uint32_t bufferSize;
    uint32_t size;
    size_t copied;
  } cases[] = {
      {"Word", 4096, 0, 0},         // a DWORD value: size 0, true
      {"Missing", 4096, 0, 0},      // no value: size 0, true
      {"Small", 4096, 3, 3},        //
      {"Big", 4096, 5000, 4096},    // at most the buffer, the stored size reported
      {"Small", 2, 3, 2},
  };
  for (const Case& c : cases) {
    std::string buffer(4096 + 16, '\0');
    uint32_t size = c.bufferSize;
    ASSERT_TRUE(ReadRegBinary(c.name, buffer.data(), size)) << c.name;
    EXPECT_EQ(size, c.size) << c.name;
    EXPECT_EQ(buffer.find_last_not_of('\0') + 1, c.copied) << c.name << " copies no more than the buffer";
  }

  EXPECT_EQ(DeleteRegValue("Small"), kErrorSuccess);
  EXPECT_EQ(DeleteRegValue("Small"), kErrorSuccess) << "a missing value is no failure";
  uint32_t size = 10;
  ASSERT_TRUE(ReadRegBinary("Small", nullptr, size));
  EXPECT_EQ(size, 0u);

  Registry::Instance().DeleteKey(Hive::CurrentUser, TheProductProfile().productRegistryKey);
  size = 10;
  EXPECT_FALSE(ReadRegBinary("Big", nullptr, size));
  EXPECT_EQ(size, 10u) << "size untouched without the key";
  EXPECT_EQ(WriteRegBinary("Big", "a", 1), kErrorFileNotFound);
  EXPECT_EQ(DeleteRegValue("Big"), kErrorFileNotFound);
}

TEST_F(RegistryValues, AFailedStoreIsReported) {
  // Another writer of the store refuses this one value.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Registry::DefaultPath().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'Refused' "
                         "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(WriteRegBinary("Refused", "abc", 3), kErrorRegistryIoFailed);
  EXPECT_EQ(WriteRegBinary("Taken", "abc", 3), kErrorSuccess);
  sqlite3_exec(db, "DROP TRIGGER refuse", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

TEST(ShellExtRoutines, ShortcutsLeadToTheirTargets) {
  std::string dir = test::MakeTempDir("links");
  std::string target = dir + "/song one.mp3";
  std::ofstream(target) << "x";
  fs::create_symlink(target, dir + "/link");
  fs::create_symlink(dir + "/gone.mp3", dir + "/dangling");
  auto desktop = [&](const std::string& name, const std::string& body) {
    std::ofstream(dir + "/" + name) << body;
    return dir + "/" + name;
  };
  struct Case {
    std::string path;
    std::string target;
  } cases[] = {
      {dir + "/link", target},
      {dir + "/dangling", ""},
      {desktop("a.desktop", "[Desktop Entry]\nType=Link\nURL=file://" + dir + "/song%20one.mp3\n"), target},
      {desktop("b.desktop", "[Desktop Entry]\r\nType=Link\r\nURL=file:" + target + "\r\n"), target},
      {desktop("c.desktop", "[Desktop Entry]\nType=Application\nURL=file://" + target + "\n"), ""},
      {desktop("d.desktop", "[Desktop Entry]\nType=Link\nURL=https://example.org/\n"), ""},
      {desktop("e.desktop", "[Desktop Entry]\nType=Link\nURL=file://" + dir + "/none.mp3\n"), ""},
      {desktop("f.desktop", "[Other]\nType=Link\nURL=file://" + target + "\n"), ""},
      // Larger than any desktop entry (a song, a film): not read as one.
      {desktop("g.desktop", "[Desktop Entry]\nType=Link\nURL=file://" + target + "\n" + std::string(64 << 10, '#')),
       ""},
      {target, ""},
      {dir + "/absent", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveShortcut(c.path), c.target) << c.path;
}

TEST(ShellExtRoutines, ShufflesKeepTheirElementsAndSortsFollowTheCall) {
  for (size_t count = 0; count <= 5; ++count) {
    SortableKernelIdArray ids;
    CSortableStringArray texts;
    for (size_t i = 0; i < count; ++i) {
      ids.push_back(KernelId(static_cast<uint32_t>(i + 1)));
      texts.push_back(std::string(1, static_cast<char>('a' + i)));
    }
    bool moved = false;
    for (int round = 0; round < 10000; ++round) {
      ids.Shuffle();
      texts.Shuffle();
      SortableKernelIdArray sortedIds = ids;
      sortedIds.SortByKeyWord(+1);
      for (size_t i = 0; i < count; ++i) ASSERT_EQ(sortedIds[i].key[0], i + 1) << count;
      CSortableStringArray sortedTexts = texts;
      std::sort(sortedTexts.begin(), sortedTexts.end());
      for (size_t i = 0; i < count; ++i) ASSERT_EQ(sortedTexts[i], std::string(1, static_cast<char>('a' + i)));
      moved = moved || (count > 1 && ids[0].key[0] != 1);
    }
    EXPECT_EQ(moved, count > 1) << count;
  }

  SortableKernelIdArray ids;
  for (uint32_t k : {5u, 0xFFFFFFF0u, 1u}) ids.push_back(KernelId(k));
  ids.SortByKeyWord(-1);
  EXPECT_EQ(ids[0].key[0], 0xFFFFFFF0u) << "unsigned order";
  EXPECT_EQ(ids[2].key[0], 1u);
  ids.SortByKeyWord(+1);
  EXPECT_EQ(ids[0].key[0], 1u);

  CSortableStringArray texts{"beta", "Alpha", "alpha2", "BETA0"};
  texts.Sort();
  EXPECT_EQ(texts, (CSortableStringArray{"Alpha", "alpha2", "beta", "BETA0"}));
}

// Fake tag readers in place of the engine's, restored afterwards.
class TagReads : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = GetTransferServices(); }
  void TearDown() override {
    WaitForWorkers();
    InstallTransferServices(saved_);
  }
  static void WaitForWorkers() {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (TimedTagReadsRunning() > 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(TimedTagReadsRunning(), 0);
  }
  TransferServices saved_;
};

TEST_F(TagReads, FileTagsThenPathTable) {
  TransferServices fake;
  std::vector<std::string> calls;
  fake.ReadTrackInfoFromFile = [&](std::string_view, _AUDIODATA& r) {
    calls.push_back("file");
    r.title.Set("  Song  ");
  };
  fake.TrimTrackTexts = [&](_AUDIODATA& r) {
    calls.push_back("trim");
    if (r.title.Get() == "  Song  ") r.title.Set("Song");
  };
  fake.TagsFromPath = [&](std::string_view, _AUDIODATA& r) {
    calls.push_back("path");
    if (r.artist.Get().empty()) r.artist.Set("Folder Artist");
    if (r.album.Get().empty()) r.album.Set("Folder Album");
    if (r.title.Get().empty()) r.title.Set("Path Title");
  };
  InstallTransferServices(fake);
  struct Case {
    bool fill, skip;
    const char* calls;
    const char* artist;
    const char* title;
  } cases[] = {
      {false, false, "file trim", "", "Song"},
      {true, false, "file trim path trim", "Folder Artist", "Song"},
      {true, true, "path trim", "Folder Artist", "Path Title"},
      {false, true, "", "", ""},
  };
  for (const Case& c : cases) {
    calls.clear();
    _AUDIODATA r;
    EXPECT_EQ(ReadTrackTags("/m/Artist/Album/01 x.mp3", r, c.fill, c.skip), 1);
    std::string joined;
    for (const auto& s : calls) joined += (joined.empty() ? "" : " ") + s;
    EXPECT_EQ(joined, c.calls) << c.fill << c.skip;
    EXPECT_EQ(r.artist.Get(), c.artist);
    EXPECT_EQ(r.title.Get(), c.title);
  }
}

TEST_F(TagReads, ABlockedReaderTimesOutAndLeavesTheRecordAlone) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> wrote{false};
  TransferServices fake;
  fake.ReadTrackInfoFromFile = [released, &wrote](std::string_view, _AUDIODATA& r) {
    released.wait_for(std::chrono::seconds(30));
    r.title.Set("late");
    wrote = true;
  };
  fake.TrimTrackTexts = [](_AUDIODATA&) {};
  fake.TagsFromPath = [](std::string_view, _AUDIODATA&) {};
  InstallTransferServices(fake);

  auto record = std::make_unique<_AUDIODATA>();
  record->title.Set("mine");
  EXPECT_EQ(ReadTagTimed("/m/a.mp3", *record, false, false, std::chrono::milliseconds(50)), 0);
  EXPECT_EQ(record->title.Get(), "mine");
  record.reset();  // the caller lets go before the worker ends
  release.set_value();
  WaitForWorkers();
  EXPECT_TRUE(wrote);
}

TEST_F(TagReads, ConcurrentTimedReadsEachGetTheirOwnResult) {
  std::mutex m;
  std::condition_variable cv;
  int inside = 0;
  TransferServices fake;
  fake.ReadTrackInfoFromFile = [&](std::string_view path, _AUDIODATA& r) {
    std::unique_lock lock(m);
    ++inside;
    cv.notify_all();
    cv.wait_for(lock, std::chrono::seconds(10), [&] { return inside >= 2; });  // both at once
    r.title.Set(path);
  };
  fake.TrimTrackTexts = [](_AUDIODATA&) {};
  fake.TagsFromPath = [](std::string_view, _AUDIODATA&) {};
  InstallTransferServices(fake);

  _AUDIODATA a, b;
  int ra = 0, rb = 0;
  std::thread other([&] { rb = ReadTagTimed("/m/b.mp3", b, false, false, std::chrono::seconds(20)); });
  ra = ReadTagTimed("/m/a.mp3", a, false, false, std::chrono::seconds(20));
  other.join();
  EXPECT_EQ(ra, 1);
  EXPECT_EQ(rb, 1);
  EXPECT_EQ(a.title.Get(), "/m/a.mp3");
  EXPECT_EQ(b.title.Get(), "/m/b.mp3");
}

}  // namespace
}  // namespace hub
