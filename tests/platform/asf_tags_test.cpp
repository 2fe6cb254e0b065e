// ASF attributes: a rewrite keeps the audio and the other attributes, files
// that are not ASF are refused untouched, and damaged headers read as nothing.
#include "platform/media/asf_tags.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"

namespace hub::platform::media {
namespace {

std::string ValueOf(const std::vector<AsfAttribute>& attributes, const std::string& name) {
  for (const auto& a : attributes)
    if (a.name == name) return a.value;
  return "<absent>";
}

// Packets of the file's audio, for comparing two files.
std::vector<std::vector<uint8_t>> AudioPackets(const std::string& path) {
  std::vector<std::vector<uint8_t>> packets;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) return packets;
  AVPacket* p = av_packet_alloc();
  while (av_read_frame(in, p) >= 0) {
    packets.emplace_back(p->data, p->data + p->size);
    av_packet_unref(p);
  }
  av_packet_free(&p);
  avformat_close_input(&in);
  return packets;
}

TEST(AsfTagsTest, RewriteSetsAttributesKeepsOthersAndAudio) {
  std::string path = test::MakeTempDir() + "/a.wma";
  ASSERT_TRUE(test::MakeWma(path, {{"WM/Composer", "Jo Composer"}, {"artist", "Old"}}));
  auto before = ReadAsfAttributes(path);
  ASSERT_TRUE(before);
  EXPECT_EQ(ValueOf(*before, "Author"), "Old");
  auto packets = AudioPackets(path);
  ASSERT_FALSE(packets.empty());

  auto result = WriteAsfAttributes(path, {{"Author", "Ünïcode Artist"}, {"WM/AlbumTitle", "Album"}, {"WM/Track", "4"}});
  ASSERT_TRUE(result.ok()) << result.error;
  auto after = ReadAsfAttributes(path);
  ASSERT_TRUE(after);
  EXPECT_EQ(ValueOf(*after, "Author"), "Ünïcode Artist");
  EXPECT_EQ(ValueOf(*after, "WM/AlbumTitle"), "Album");
  EXPECT_EQ(ValueOf(*after, "WM/Track"), "4");
  EXPECT_EQ(ValueOf(*after, "WM/Composer"), "Jo Composer");
  EXPECT_EQ(AudioPackets(path), packets);
}

TEST(AsfTagsTest, NonAsfFileIsRefusedUntouched) {
  std::string path = test::MakeTempDir() + "/fake.wma";
  std::vector<uint8_t> bytes(4096, 0x55);
  test::WriteBytes(path, bytes);
  auto result = WriteAsfAttributes(path, {{"Title", "x"}});
  EXPECT_EQ(result.status, AsfWriteStatus::kFailed);
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(test::ReadBytes(path), bytes);
  EXPECT_EQ(WriteAsfAttributes(path + ".missing", {{"Title", "x"}}).status, AsfWriteStatus::kFailed);
}

TEST(AsfTagsTest, DamagedHeadersReadAsNothing) {
  std::string dir = test::MakeTempDir();
  std::string path = dir + "/a.wma";
  ASSERT_TRUE(test::MakeWma(path, {{"WM/Composer", "Jo Composer"}, {"title", "T"}}));
  auto bytes = test::ReadBytes(path);
  ASSERT_GT(bytes.size(), 200u);
  std::string damaged = dir + "/damaged.wma";
  // Cut inside the header at every point: never a crash, never attributes.
  for (size_t cut = 0; cut < 600 && cut < bytes.size(); cut += 7) {
    test::WriteBytes(damaged, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
    EXPECT_FALSE(ReadAsfAttributes(damaged)) << cut;
  }
  // Object sizes that point past the header.
  auto huge = bytes;
  for (int i = 0; i < 8; ++i) huge[30 + 16 + i] = 0xFF;
  test::WriteBytes(damaged, huge);
  EXPECT_FALSE(ReadAsfAttributes(damaged));
}

}  // namespace
}  // namespace hub::platform::media
