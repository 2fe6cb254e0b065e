#include "common/version.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/hermetic_env.h"

namespace hub {
namespace {

std::string FileWithMarker(const std::string& marker) {
  std::string path = test::MakeTempDir("ver") + "/Module.bin";
  std::ofstream out(path, std::ios::binary);
  out << std::string("\x7f" "ELF junk HUBFILEVERSION=\0 more", 30) << "HUBFILE" << "VERSION=" << marker
      << std::string(1, '\0') << "tail";
  return path;
}

TEST(VersionTest, ShortAndLongForms) {
  std::string p = FileWithMarker("2.1.5.0");
  EXPECT_EQ(GetVersionText(p, true), "2.1.5");
  EXPECT_EQ(GetVersionText(p, false), "2.1.5.0");
  p = FileWithMarker("2.1.5.2");
  EXPECT_EQ(GetVersionText(p, true), "2.1.5b");
  EXPECT_EQ(GetVersionText(p, false), "2.1.5.2");
}

// Program files are read in blocks: a marker split by a block's end, or lying
// deep in a large file, is still found.
TEST(VersionTest, MarkerAcrossABlockBoundaryOfALargeFile) {
  for (size_t before : {size_t{1 << 20} - 5, size_t{1 << 20} - 20, size_t{3 << 20} + 7}) {
    std::string path = test::MakeTempDir("ver") + "/Large.bin";
    std::ofstream out(path, std::ios::binary);
    out << std::string(before, 'x') << "HUBFILE" << "VERSION=" << "3.4.5.1" << std::string(1, '\0') << "tail";
    out.close();
    EXPECT_EQ(GetVersionText(path, false), "3.4.5.1") << before;
  }
}

TEST(VersionTest, MissingFileOrMarker) {
  EXPECT_EQ(GetVersionText("/nonexistent/file", true), "1.0.0");
  std::string plain = test::MakeTempDir("ver") + "/plain";
  std::ofstream(plain) << "nothing here";
  EXPECT_EQ(GetVersionText(plain, false), "1.0.0");
}

TEST(VersionTest, RunningModuleHasAVersion) { EXPECT_EQ(GetModuleVersionString(), "1.0.0"); }

}  // namespace
}  // namespace hub
