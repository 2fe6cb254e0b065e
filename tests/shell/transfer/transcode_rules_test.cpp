#include "shell/transfer/transcode_rules.h"

#include <map>
#include <set>

#include "metadata/metadata_fixture.h"
#include "shell/transfer/metadata/library_handle.h"

namespace hub::test {
namespace {

// Codecs as a test installs them.
class FakeCodecs : public CodecRegistry {
 public:
  std::set<int> decoders, encoders;
  bool FindDecoder(int format, std::string& name) override {
    name = "dec";
    return decoders.count(format) > 0;
  }
  bool FindEncoder(int format, std::string& name) override {
    name = "enc";
    return encoders.count(format) > 0;
  }
};

class TranscodeRulesTest : public MetadataTest {
 protected:
  void SetUp() override {
    MetadataTest::SetUp();  // a Tarveld player: 1, 2, 3, 10
    codecs_ = std::make_shared<FakeCodecs>();
    // Every codec the system can have: no Ogg Vorbis encoder exists.
    codecs_->decoders = {1, 2, 3, 10, 11};
    codecs_->encoders = {1, 2, 3};
    SetCodecRegistry(codecs_);
  }
  void TearDown() override { SetCodecRegistry(nullptr); }
  std::vector<uint32_t> List(int format, int* index = nullptr) {
    std::vector<uint32_t> list;
    int i = -1;
    ListTranscodeRules(format, list, i);
    if (index) *index = i;
    return list;
  }
  std::shared_ptr<FakeCodecs> codecs_;
};

constexpr uint32_t kSep = kRuleSeparator;

TEST_F(TranscodeRulesTest, RuleListsOfATarveldPlayer) {
  EXPECT_EQ(List(11), (std::vector<uint32_t>{0x10001, 0x10002, 0x10003}));
  EXPECT_EQ(List(2), (std::vector<uint32_t>{2, kSep, 0x20002, kSep, 0x10001, 0x10003}));
  EXPECT_EQ(List(1), (std::vector<uint32_t>{1, kSep, 0x10002, 0x10003}));  // never a reduce entry
  EXPECT_EQ(List(10), (std::vector<uint32_t>{10, kSep, 0x10001, 0x10002, 0x10003}));
  EXPECT_EQ(GetTranscodeRule(11), 0x10001u);  // no stored rule: FLAC becomes WAV
  EXPECT_EQ(GetTranscodeRule(2), 2u);
  codecs_->decoders.erase(11);
  EXPECT_TRUE(List(11).empty());
  EXPECT_EQ(GetTranscodeRule(11), 0u);
}

TEST_F(TranscodeRulesTest, StoredRulesApplyOnlyWhileTheyAreInTheList) {
  int index = -1;
  ASSERT_TRUE(SaveTranscodeRule(11, 0x10003));
  List(11, &index);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(GetTranscodeRule(11), 0x10003u);
  codecs_->encoders.erase(3);  // the WMA encoder went away: the first entry rules
  EXPECT_EQ(GetTranscodeRule(11), 0x10001u);
  // A stored separator is no rule: an unplayable format stays untransferable.
  codecs_->decoders = {1};
  codecs_->encoders = {1};
  SaveTranscodeRule(11, kSep);
  SetDword("Xc2_On", 1);
  EXPECT_EQ(GetTranscodeRule(11), 0u);
  EXPECT_FALSE(IsTransferable("/x/a.flac"));
  SaveTranscodeRule(2, kSep);
  List(2, &index);
  EXPECT_EQ(index, 0);
}

TEST_F(TranscodeRulesTest, TransferableAndNeedsTranscode) {
  EXPECT_TRUE(IsTransferable("/x/a.MP3"));
  EXPECT_FALSE(IsTransferable("/x/a.flac"));  // Xc2_On is 0, whatever is stored
  SaveTranscodeRule(11, 0x10002);
  EXPECT_FALSE(IsTransferable("/x/a.flac"));
  EXPECT_FALSE(NeedsTranscode("/x/a.flac"));
  SetDword("Xc2_On", 1);
  EXPECT_TRUE(IsTransferable("/x/a.flac"));
  EXPECT_TRUE(NeedsTranscode("/x/a.flac"));
  EXPECT_FALSE(IsTransferable("/x/a.txt"));

  // Reduce the bitrate only above the threshold.
  SaveTranscodeRule(2, 0x20002);
  for (auto [index, expected] : {std::pair{9, false}, {10, true}}) {  // 128 and 160 kbit/s
    std::vector<uint8_t> file = FrameHeader(0, index);
    file.resize(400000, 0);
    EXPECT_EQ(NeedsTranscode(Write("r.mp3", file)), expected) << index;
  }
  SetDword("Xc2_RThr", 192);
  std::vector<uint8_t> file = FrameHeader(0, 10);
  file.resize(400000, 0);
  EXPECT_FALSE(NeedsTranscode(Write("r.mp3", file)));
}

TEST_F(TranscodeRulesTest, DescriptionsAndClearing) {
  EXPECT_EQ(DescribeTranscodeRule(2), "Transfer without Sonverting");
  EXPECT_EQ(DescribeTranscodeRule(0x10002), "Convert to MP3, then Transfer");
  EXPECT_EQ(DescribeTranscodeRule(0x1000B), "Convert to FLAC, then Transfer");
  EXPECT_EQ(DescribeTranscodeRule(0x20003), "Reduce Bitrate, then Transfer");
  EXPECT_EQ(DescribeTranscodeRule(0x30003), "Invalid Rule");
  auto& registry = platform::Registry::Instance();
  const auto& key = TheProductProfile().productRegistryKey;
  for (int f = 0; f <= 12; ++f) SaveTranscodeRule(f, 0x10001);
  SetDword("Xc2_On", 1);
  ClearTranscodeRules();
  std::set<std::string> left;
  for (const auto& [name, value] : registry.ListValues(platform::Hive::CurrentUser, key)) left.insert(name);
  EXPECT_EQ(left, (std::set<std::string>{"Xc2_S00", "Xc2_S12", "Xc2_On"}));
}

TEST_F(TranscodeRulesTest, PlayersAcceptTheirFormats) {
  struct Case {
    const char* manager;
    std::vector<int> accepted;
  } cases[] = {{"ovelmgr", {1, 2, 5, 6, 7, 8, 9}},  {"irivmgr", {1, 2, 3, 10}},
               {"brammgr", {1, 2, 3, 10}},          {"pellmgr", {1, 2, 3, 5, 6, 7, 8, 9, 10, 11}},
               {"riomgr", {1, 2, 3, 10, 11}},       {"kestmgr", {1, 2, 3}}};
  for (const auto& c : cases) {
    SelectProduct(c.manager, TheProductProfile());
    std::vector<int> accepted;
    for (int f = -1; f <= 13; ++f)
      if (DeviceSupportsFormat(f)) accepted.push_back(f);
    EXPECT_EQ(accepted, c.accepted) << c.manager;
  }
}

// The system's codecs, as installed by the test support's shared values.
TEST_F(TranscodeRulesTest, SystemCodecsFollowTheSharedValues) {
  SetCodecRegistry(nullptr);
  std::string name;
  EXPECT_TRUE(FindDecoder(1, name));
  EXPECT_EQ(name, "Internal WAV Support");
  EXPECT_TRUE(FindDecoder(2, name));
  EXPECT_EQ(name, "Windows Media Format");
  EXPECT_TRUE(FindEncoder(3, name));
  EXPECT_TRUE(FindDecoder(11, name));
  EXPECT_EQ(name, "FLAC Dynamic Library");
  EXPECT_FALSE(FindDecoder(10, name));  // "ogg.dll" and "vorbis.dll" not set
  SetShared("ogg.dll", "libogg.so.0");
  SetShared("vorbis.dll", "libvorbis.so.0");
  EXPECT_TRUE(FindDecoder(10, name));
  EXPECT_EQ(name, "Ogg Vorbis Dynamic Library");
  EXPECT_FALSE(FindEncoder(10, name));
  SetShared("libFLAC.dll", "");
  EXPECT_FALSE(FindDecoder(11, name));
  setenv("HUB_PROGRAM_FILES", dir_.c_str(), 1);
  EXPECT_EQ(GetSharedProgramFolder(), dir_ + "/Quorral Software/Shared/");
  // No be_encoder.so there: the compression manager's MP3 stream is the second choice.
  EXPECT_TRUE(FindEncoder(2, name));
  EXPECT_EQ(name.rfind("LAME MP3 Encoder (libmp3lame ", 0), 0u) << name;
  unsetenv("HUB_PROGRAM_FILES");
}

}  // namespace
}  // namespace hub::test
