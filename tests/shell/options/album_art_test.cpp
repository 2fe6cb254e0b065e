// Album art: pictures found in MP4 and MP3 files and beside them, loaded and
// stretched, and embedded into MP3 files with nothing lost on failure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "art_fixtures.h"
#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/fs/whole_file.h"
#include "platform/media/image.h"
#include "platform/registry/registry.h"
#include "shell/options/album_art.h"
#include "shell/transfer/metadata/byte_source.h"
#include "shell/transfer/metadata/id3v2_walker.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

using test::Bytes;

class AlbumArt : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    WriteSettingString("Gen_TempPath", test::MakeTempDir("tmp"));
  }
  void TearDown() override {
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  std::string dir = test::MakeTempDir("art");
};

std::optional<ArtPicture> Mp4Cover(const Bytes& file) {
  metadata::MemoryByteSource source(file.data(), file.size());
  return FindMp4Cover(source);
}

TEST_F(AlbumArt, Mp4CoverWalkChecksEveryAtom) {
  Bytes png = test::MakePng(4, 4);
  Bytes name = test::Atom("\xA9nam", test::Atom("data", test::Concat({Bytes(8, 0), {'x'}})));
  Bytes good = test::MakeMp4({name, test::CoverItem(png)});
  auto cover = Mp4Cover(good);
  ASSERT_TRUE(cover);
  EXPECT_EQ(cover->bytes, png);
  EXPECT_EQ(cover->extension, "png");

  EXPECT_FALSE(Mp4Cover(test::MakeMp4({test::Atom("free", Bytes(8, 0)), test::CoverItem(png)})));

  // Damaged files: each must end the walk without art, and without reading wild lengths.
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"truncated cover", Bytes(good.begin(), good.end() - 2100)},
      {"size under its header", [&] {
         Bytes f = test::MakeMp4({test::CoverItem(png)});
         size_t at = std::search(f.begin(), f.end(), std::begin("covr"), std::end("covr") - 1) - f.begin() - 4;
         f[at] = f[at + 1] = f[at + 2] = 0;
         f[at + 3] = 4;
         return f;
       }()},
      {"oversized data atom", [&] {
         Bytes f = test::MakeMp4({test::CoverItem(png)});
         size_t at = std::search(f.begin(), f.end(), std::begin("data"), std::end("data") - 1) - f.begin() - 4;
         f[at] = 0x7F;
         return f;
       }()},
      {"data shorter than its words", test::MakeMp4({test::Atom("covr", test::Atom("data", Bytes(3, 0)))})},
      {"empty", Bytes{}},
      {"no moov", test::Atom("ftyp", Bytes(8, 0))},
  };
  for (const Case& c : cases) EXPECT_FALSE(Mp4Cover(c.file)) << c.name;

  // A cover beyond the cap is refused.
  Bytes big(kMaxArtBytes + 1, 0);
  EXPECT_FALSE(Mp4Cover(test::MakeMp4({test::CoverItem(big)})));
}

TEST_F(AlbumArt, Id3PictureExtensionFromMimeOrData) {
  Bytes png = test::MakePng(2, 2);
  struct Case {
    std::string mime;
    Bytes data;
    std::string extension;  // "" : no art
  } cases[] = {
      {"", png, "png"},
      {"", test::MakeGif(), "gif"},
      {"", test::MakeExifJpeg(8, 8), "jpg"},
      {"", test::MakeJfifJpeg(8, 8), "jpg"},
      {"image/jpeg", png, "jpg"},
      {"image/PNG", png, "png"},
      {"image/bmp", png, "bmp"},
      {"", Bytes{1, 2, 3, 4}, ""},
      {"text/plain", png, ""},
  };
  for (const Case& c : cases) {
    Bytes mp3 = test::MakeMp3({{"TIT2", test::TextFrame("Glass")}, {"APIC", test::PictureFrame(c.mime, c.data)}},
                              test::AudioBytes(1000));
    metadata::MemoryByteSource source(mp3.data(), mp3.size());
    auto art = FindId3Picture(source);
    if (c.extension.empty()) {
      EXPECT_FALSE(art) << c.mime;
      continue;
    }
    ASSERT_TRUE(art) << c.mime;
    EXPECT_EQ(art->extension, c.extension) << c.mime;
    EXPECT_EQ(art->bytes, c.data);
  }
}

TEST_F(AlbumArt, PicturesLoadAndStretchTo150) {
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {{"png", test::MakePng(300, 200)},
               {"jfif", test::MakeJfifJpeg(64, 64)},
               {"exif", test::MakeExifJpeg(40, 30)},
               {"gif", test::MakeGif()}};
  for (const Case& c : cases) {
    std::string path = dir + "/" + c.name + ".img";
    test::WriteFile(path, c.bytes);
    auto bitmap = LoadScaledImage(path, 150, 150);
    ASSERT_TRUE(bitmap) << c.name;
    EXPECT_EQ(bitmap->width, 150);
    EXPECT_EQ(bitmap->height, 150);
    EXPECT_EQ(bitmap->rgba.size(), 150u * 150 * 4);
  }
  test::WriteFile(dir + "/junk.png", Bytes{1, 2, 3});
  EXPECT_FALSE(LoadScaledImage(dir + "/junk.png", 150, 150));
  EXPECT_FALSE(LoadScaledImage(dir + "/missing.png", 150, 150));
  // A header claiming 60000 x 60000 pixels is refused before decoding.
  Bytes huge = test::MakePng(1, 1);
  huge[16] = 0, huge[17] = 0, huge[18] = 0xEA, huge[19] = 0x60;
  huge[20] = 0, huge[21] = 0, huge[22] = 0xEA, huge[23] = 0x60;
  std::string error;
  EXPECT_FALSE(platform::media::DecodePicture(huge.data(), huge.size(), &error));
}

TEST_F(AlbumArt, FindArtInFileThenFolderIntoTheTempArtFolder) {
  Bytes png = test::MakePng(3, 3);
  std::string mp3 = dir + "/01 Glass.mp3";
  test::WriteFile(mp3, test::MakeMp3({{"APIC", test::PictureFrame("", png)}}, test::AudioBytes(500)));
  auto found = FindArt(mp3, "bitmap");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, GetTempFolder("art") + "bitmap.png");
  EXPECT_EQ(test::ReadFile(*found), png);

  // No picture inside: the folder picture the setting names.
  std::string plain = dir + "/02 Tide.mp3";
  test::WriteFile(plain, test::MakeMp3({{"TIT2", test::TextFrame("Tide")}}, test::AudioBytes(500)));
  EXPECT_FALSE(FindArt(plain, "bitmap")) << "no cover.jpg";
  WriteSettingString("JB_AlbumArtFilename", "folder.png");
  test::WriteFile(dir + "/folder.png", png);
  found = FindArt(plain, "bitmap");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, GetTempFolder("art") + "bitmap.png");
  // An MP4 whose list reaches "free" first uses the folder picture too.
  std::string m4a = dir + "/03 Drift.m4a";
  test::WriteFile(m4a, test::MakeMp4({test::Atom("free", Bytes(8, 0)), test::CoverItem(test::MakeGif())}));
  found = FindArt(m4a, "bitmap");
  ASSERT_TRUE(found);
  EXPECT_EQ(test::ReadFile(*found), png);
  // A setting that leaves the folder names nothing.
  WriteSettingString("JB_AlbumArtFilename", "../folder.png");
  EXPECT_FALSE(FindArt(plain, "bitmap"));
  EXPECT_TRUE(GetArtBitmap(mp3, 150, 150));
  EXPECT_FALSE(std::filesystem::exists(GetTempFolder("art") + "bitmap.png")) << "the working file goes again";
}

TEST_F(AlbumArt, EmbedKeepsOtherFramesAndTheAudio) {
  Bytes audio = test::AudioBytes(20000, 7);
  std::string mp3 = dir + "/track.mp3";
  test::WriteFile(mp3, test::MakeMp3({{"TIT2", test::TextFrame("Glass")},
                                      {"COMM", Bytes{0, 'e', 'n', 'g', 0, 'k', 'e', 'e', 'p'}},
                                      {"APIC", test::PictureFrame("image/gif", test::MakeGif())}},
                                     audio));
  ::chmod(mp3.c_str(), 0640);
  Bytes png = test::MakePng(5, 5);
  std::string image = dir + "/cover.PNG";
  test::WriteFile(image, png);
  std::string error;
  ASSERT_TRUE(EmbedAlbumArt(mp3, image, &error)) << error;

  Bytes after = test::ReadFile(mp3);
  ASSERT_GE(after.size(), audio.size());
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), after.end() - static_cast<ptrdiff_t>(audio.size())));
  metadata::MemoryByteSource source(after.data(), after.size());
  auto art = FindId3Picture(source);
  ASSERT_TRUE(art);
  EXPECT_EQ(art->bytes, png);
  EXPECT_EQ(art->extension, "png");
  auto scan = metadata::ScanId3v2Tags(source);
  ASSERT_EQ(scan.tags.size(), 1u);
  EXPECT_TRUE(scan.tags[0].Find("TIT2"));
  EXPECT_TRUE(scan.tags[0].Find("COMM"));
  struct stat st;
  ASSERT_EQ(::stat(mp3.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No working file is left beside it.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.path().filename().string().rfind("track.mp3", 0) == 0;
  EXPECT_EQ(entries, 1);

  EXPECT_FALSE(EmbedAlbumArt(mp3, dir + "/cover.bmp", &error));
  EXPECT_EQ(error, "Only GIF, PNG, and JPEG images are supported.");
}

TEST_F(AlbumArt, AFailedWriteLeavesTheFileByteForByte) {
  std::string mp3 = dir + "/full.mp3";
  Bytes before = test::MakeMp3({{"TIT2", test::TextFrame("Full")}}, test::AudioBytes(300000));
  test::WriteFile(mp3, before);
  std::string image = dir + "/c.jpg";
  test::WriteFile(image, test::MakeExifJpeg(16, 16));
  for (platform::FileStep failing :
       {platform::FileStep::kOpen, platform::FileStep::kWrite, platform::FileStep::kSync, platform::FileStep::kRename}) {
    int writes = 0;
    platform::ScopedFileFaultHook hook([&](platform::FileStep step) {
      if (step == platform::FileStep::kWrite && ++writes < 3) return 0;  // fail part way through
      return step == failing ? ENOSPC : 0;
    });
    std::string error;
    EXPECT_FALSE(EmbedAlbumArt(mp3, image, &error)) << static_cast<int>(failing);
    EXPECT_NE(error.find("The file is unchanged."), std::string::npos) << error;
    EXPECT_EQ(test::ReadFile(mp3), before);
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.path().filename().string().rfind("full.mp3", 0) == 0;
    EXPECT_EQ(entries, 1u) << "no temporary left";
  }
}

}  // namespace
}  // namespace hub
