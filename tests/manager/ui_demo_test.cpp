// The demo program under the terminal driver, as a person sees it in a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/hermetic_env.h"

namespace hub {
namespace {

std::string RunDemo(const std::string& args, int& status) {
  // Input is not a terminal: every question takes its default; `timeout` bounds the run.
  std::string command = "HUB_UI_DRIVER=terminal timeout 30 " + std::string(HUBUIDEMO_PATH) + " " + args +
                        " </dev/null 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  status = ::pclose(p);
  return out;
}

TEST(UiDemo, TerminalShowsMessageAndProgressBarThatEnds) {
  int status = -1;
  std::string out = RunDemo("all 8", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("=== Tarveld Explorer ===\n(information) This is how the system tells you something.\n-> ok"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Deleting files... [------------------------------]   0% Preparing to delete..."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Deleting files... [##############################] 100% track 8\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("\r"), std::string::npos);  // no redraws in a log
}

TEST(UiDemo, OptionsSheetTakesDefaultsWithoutATerminal) {
  int status = -1;
  std::string out = RunDemo("options", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("sheet 0x"), std::string::npos) << out;
  EXPECT_NE(out.find("options sheet closed with"), std::string::npos) << out;
}

}  // namespace
}  // namespace hub
