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

TEST(VersionTest, MissingFileOrMarker) {
  EXPECT_EQ(GetVersionText("/nonexistent/file", true), "1.0.0");
  std::string plain = test::MakeTempDir("ver") + "/plain";
  std::ofstream(plain) << "nothing here";
  EXPECT_EQ(GetVersionText(plain, false), "1.0.0");
}

TEST(VersionTest, RunningModuleHasAVersion) { EXPECT_EQ(GetModuleVersionString(), "1.0.0"); }

}  // namespace
}  // namespace hub
