// Sonvert lists: the query the rules make, the size limits, the enciphered
// rule file (its exact bytes, damaged files, values that hold the record's
// own separators, long names) and the editor filling the playlist.
#include "shell/transfer/sonvert_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/ui/driver.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "support/records.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

SonvertRules Rules(std::initializer_list<std::array<std::string, 3>> rows, std::string match = "all") {
  SonvertRules r;
  r.match = std::move(match);
  int row = 0;
  for (const auto& [field, condition, value] : rows) {
    r.field[row] = field;
    r.condition[row] = condition;
    r.value[row] = value;
    ++row;
  }
  return r;
}

TEST(SonvertQueryTest, RulesBecomeTheQuery) {
  struct Case {
    SonvertRules rules;
    std::string query;
  };
  SonvertRules unusedRow = Rules({{"Artist", "is equal to", "X"}, {"(not used)", "contains", "ignored"}});
  const Case cases[] = {
      {Rules({{"Artist", "contains", "Band"}, {"Year", "is greater than", "1965"}}),
       "SELECT id FROM audio WHERE artist?'Band' AND year>1965;"},
      {Rules({{"Minutes", "is less than", "4"}}), "SELECT id FROM audio WHERE length<240;"},
      {unusedRow, "SELECT id FROM audio WHERE artist='X';"},
      {Rules({{"Genre", "does not contain", "Pop"}, {"(not used)", "contains", ""}, {"Track Number", "is not equal to", "3"}},
             "any"),
       "SELECT id FROM audio WHERE genre#'Pop' OR tracknum!=3;"},
      {Rules({{"Track Title", "is equal to", "Intro"}, {"Bytes", "is greater than", "1000"}}),
       "SELECT id FROM audio WHERE title='Intro' AND size>'1000';"},
      {Rules({{"Bitrate", "odd condition", "128"}, {"PlayCount", "is less than", "2"}, {"Rating", "is greater than", "60"}}),
       "SELECT id FROM audio WHERE bitrate=128 AND playcount<2 AND rating>60;"},
      {Rules({{"Comment", "contains", "a b"}, {"Composer", "contains", "Bach"}, {"Album", "contains", ""}}),
       "SELECT id FROM audio WHERE comment?'a b' AND composer?'Bach' AND album?'';"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CheckSonvertRules(c.rules)) << c.query;
    EXPECT_EQ(BuildSonvertQuery(c.rules), c.query);
  }
}

TEST(SonvertQueryTest, ValuesThatWouldChangeTheQueryAreRefused) {
  const SonvertRules refused[] = {
      Rules({{"Genre", "contains", "Rock 'n' Roll"}}),
      Rules({{"Year", "is equal to", "1965 OR 1=1"}}),
      Rules({{"Artist", "contains", "A"}, {"Minutes", "is less than", "4m"}}),
      Rules({{"Track Number", "is equal to", ""}}),
      Rules({{"Artist", "contains", "A"}, {"Genre", "contains", "B"}, {"Title", "contains", "it's"}}),
  };
  for (const SonvertRules& r : refused) EXPECT_TRUE(CheckSonvertRules(r)) << BuildSonvertQuery(r);
  // A row that is not used is not judged.
  EXPECT_FALSE(CheckSonvertRules(Rules({{"Artist", "contains", "A"}, {"(not used)", "contains", "it's"}})));
}

class TimedDevice : public test::MemoryDevice {
 public:
  KernelId Add(uint32_t seconds, uint32_t bytes, std::string artist = "A", std::string title = "T") {
    _AUDIODATA r = test::TrackRecord({.artist = artist, .title = title, .fileType = kFileTypeMp3});
    r.length = seconds;
    r.size = bytes;
    return AddTrack(r);
  }
  int RunQuery(std::string_view sql, KernelId& first) override {
    queries.emplace_back(sql);
    cursor_ = 0;
    if (answers.empty()) return 0;
    first = answers[cursor_++];
    return static_cast<int>(answers.size());
  }
  int GetNextQueryResult(KernelId& next) override {
    if (cursor_ >= answers.size()) return 0;
    next = answers[cursor_++];
    return 1;
  }
  std::vector<std::string> queries;
  std::vector<KernelId> answers;

 private:
  size_t cursor_ = 0;
};

TEST(SonvertLimitsTest, TheTrackThatCrossesALimitIsNotTaken) {
  struct Case {
    int number;
    std::string unit;
    size_t taken;
  };
  const Case cases[] = {
      {30, "minutes", 3}, {2, "tracks", 2}, {1, "hours", 6}, {2, "MB", 4}, {9999, "tracks", 10}, {1, "tracks", 1},
  };
  TimedDevice device;
  std::vector<KernelId> ids;
  for (int i = 0; i < 10; ++i) ids.push_back(device.Add(600, 500 * 1024));
  for (const Case& c : cases) {
    SonvertRules r;
    r.limitNumber = c.number;
    r.limitUnit = c.unit;
    EXPECT_EQ(TakeWithinLimits(device, ids, SonvertLimitsOf(r)).size(), c.taken) << c.number << " " << c.unit;
  }
  SonvertLimits defaults;
  EXPECT_EQ(defaults.tracks, 10000u);
  EXPECT_EQ(defaults.seconds, 36000000u);
  EXPECT_EQ(defaults.kilobytes, 100000000u);
}

TEST(SonvertRecordTest, TheCipherBytesOfOneRecordAreFixed) {
  // Computed independently (OpenSSL's Blowfish, CBC, PKCS#7, zero IV) so files keep reading back.
  SonvertRules r = Rules({{"Artist", "contains", "Band"}, {"Year", "is greater than", "1965"}});
  std::string record = FormatSonvertRecord(r);
  EXPECT_EQ(record, "90|minutes|all|Artist|contains|Band|Year|is greater than|1965|(not used)|contains|-|randomly");
  EXPECT_EQ(Hex(EncipherSonvertRecord(record)),
            "227EF79C5CE6C70BE9C9457CDCC5BF6CD839EF32E860593B4E64718D5CFC893B3E2F4DED29811327C0F341728FF1E6FF"
            "6819111376BBA58E2238080DF535F0CD37F43F25E48CA816FDA3E91A69F84DBFB1EA40A378C3B41E344568AD86272B13");
  EXPECT_EQ(DecipherSonvertRecord(EncipherSonvertRecord(record)), record);
}

TEST(SonvertRecordTest, ValuesRoundTripWhateverTheyHold) {
  const std::string values[] = {"", "-", "a|b", "100%", "%7C", "--", "a - b", "|", "%2D", "x%"};
  for (const std::string& v : values) {
    SonvertRules r = Rules({{"Artist", "contains", v}, {"Album", "is equal to", v}, {"Comment", "contains", "z"}});
    r.limitNumber = 12;
    r.limitUnit = "MB";
    r.match = "any";
    r.order = "by artist/album/trackname";
    auto back = ParseSonvertRecord(FormatSonvertRecord(r));
    ASSERT_TRUE(back) << v;
    EXPECT_EQ(*back, r) << v;
  }
  // A record written before values were escaped reads as it always did.
  auto old = ParseSonvertRecord("5|tracks|all|Artist|contains|Band|(not used)|contains|-|(not used)|contains|-|randomly");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->limitNumber, 5);
  EXPECT_EQ(old->value[0], "Band");
  EXPECT_EQ(old->value[1], "");
  EXPECT_FALSE(ParseSonvertRecord("1|2|3"));
  EXPECT_FALSE(ParseSonvertRecord("90|minutes|all|Artist|contains|a|b|Year|is greater than|1965|(not used)|contains|-|randomly"));
}

TEST(SonvertRecordTest, FileNamesFitAndDamagedFilesGiveTheDefaults) {
  EXPECT_EQ(SonvertListFileName("0A1B2C3D", "Mix"), Hex("0A1B2C3DMix"));
  EXPECT_EQ(SonvertListFileName("0A1B2C3D", std::string(119, 'x')).size(), 16u + 238u);
  std::string longName(200, 'n');
  std::string hashed = SonvertListFileName("0A1B2C3D", longName);
  EXPECT_EQ(hashed.size(), 40u);
  EXPECT_NE(hashed, SonvertListFileName("0A1B2C3D", longName + "m"));

  std::string folder = test::MakeTempDir("slists");
  SonvertRules r = Rules({{"Artist", "contains", "a|b"}, {"Genre", "is equal to", "-"}});
  std::string path = folder + "/" + hashed;
  ASSERT_TRUE(SaveSonvertRules(path, r));
  EXPECT_EQ(LoadSonvertRules(path), r);

  std::string cipher = EncipherSonvertRecord(FormatSonvertRecord(r));
  const std::string damaged[] = {"", "short", cipher.substr(0, 8), cipher.substr(0, cipher.size() - 8) + "12345678",
                                 EncipherSonvertRecord("1|2|3"), std::string(64, '\0')};
  for (const std::string& bytes : damaged) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(LoadSonvertRules(path), SonvertRules{}) << Hex(bytes);
  }
  EXPECT_EQ(LoadSonvertRules(folder + "/missing"), SonvertRules{});
  // A folder that cannot take the file: the save says so and nothing is half-written.
  EXPECT_FALSE(SaveSonvertRules(folder + "/no/such/folder/x", r));
}

class SonvertDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    appData_ = test::MakeTempDir("appdata");
    WriteSettingString("Gen_AppDataDir", appData_);
    BindClient(&device_);
  }
  void TearDown() override { BindClient(nullptr); }
  std::string RuleFile(const std::string& name) {
    return appData_ + "/slists/" + SonvertListFileName(Sha1Digits(), name);
  }
  std::string Sha1Digits();
  std::vector<uint64_t> Entries(const KernelId& playlist) {
    std::vector<uint64_t> out;
    KernelId e;
    for (int more = device_.GetFirstPlaylistItem(playlist, e); more; more = device_.GetNextPlaylistItem(playlist, e))
      out.push_back(e.RecordId());
    return out;
  }

  TimedDevice device_;
  std::string appData_;
};

std::string SonvertDialogTest::Sha1Digits() { return Sha1HexOfString(device_.GetDeviceId()); }

TEST_F(SonvertDialogTest, OkFillsThePlaylistInOrderAndKeepsTheRules) {
  KernelId b = device_.Add(200, 1000, "Band", "B");
  KernelId a = device_.Add(200, 1000, "Band", "A");
  KernelId old = device_.Add(100, 1000, "Other", "O");
  KernelId list = device_.AddPlaylist("SL: Band", {old});
  device_.answers = {b, a};

  {
    ui::ScopedUiDriver<> ui;
    SonvertListEditDialog dialog(0, list);
    ui->Push({ui::UiAction::Set(SonvertListEditDialog::kValues[0], "Band"),
              ui::UiAction::Set(SonvertListEditDialog::kOrder, "by artist/album/trackname"),
              ui::UiAction::Set(SonvertListEditDialog::kFields[1], "Year"),
              ui::UiAction::Set(SonvertListEditDialog::kConditions[1], "is greater than"),
              ui::UiAction::Set(SonvertListEditDialog::kValues[1], "1965 OR 1=1"), ui::UiAction::Press(ui::kIdOk),
              ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Set(SonvertListEditDialog::kValues[1], "0"),
              ui::UiAction::Press(ui::kIdOk)});
    EXPECT_EQ(dialog.DoModal(), ui::kIdOk);
    EXPECT_EQ(dialog.Caption(), "Edit SonvertList - Band");
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_NE(ui->Messages()[0].text.find("must be a whole number"), std::string::npos);
  }
  EXPECT_EQ(device_.queries, std::vector<std::string>{"SELECT id FROM audio WHERE artist?'Band' AND year>0;"});
  EXPECT_EQ(Entries(list), (std::vector<uint64_t>{a.RecordId(), b.RecordId()}));

  // Reopened: the rules as they were saved; row 3 stays disabled.
  ui::ScopedUiDriver<> ui;
  SonvertListEditDialog again(0, list);
  ui->Push(ui::UiAction::Press(ui::kIdCancel));
  again.DoModal();
  EXPECT_EQ(again.Rules().value[0], "Band");
  EXPECT_EQ(again.Rules().field[1], "Year");
  EXPECT_EQ(again.Rules().order, "by artist/album/trackname");
  EXPECT_TRUE(fs::exists(RuleFile("Band")));
}

TEST_F(SonvertDialogTest, NoMatchChangesNothingButSavesTheRules) {
  KernelId t = device_.Add(100, 1000);
  KernelId list = device_.AddPlaylist("SL: Empty", {t});
  ui::ScopedUiDriver<> ui;
  SonvertListEditDialog dialog(0, list);
  ui->Push({ui::UiAction::Set(SonvertListEditDialog::kValues[0], "nobody|-"), ui::UiAction::Press(ui::kIdOk),
            ui::UiAction::Answer(ui::kIdOk)});
  dialog.DoModal();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Conditions produced no matches.");
  EXPECT_EQ(Entries(list), std::vector<uint64_t>{t.RecordId()});
  EXPECT_EQ(LoadSonvertRules(RuleFile("Empty")).value[0], "nobody|-");
}

TEST_F(SonvertDialogTest, ARuleFileThatCannotBeWrittenIsReported) {
  KernelId list = device_.AddPlaylist("SL: X");
  // A file where the folder should be.
  std::ofstream(appData_ + "/slists") << "in the way";
  ui::ScopedUiDriver<> ui;
  SonvertListEditDialog dialog(0, list);
  ui->Push({ui::UiAction::Press(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk)});
  dialog.DoModal();
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_EQ(ui->Messages()[1].text.rfind("Could not save the rules", 0), 0u);
}

}  // namespace
}  // namespace hub
