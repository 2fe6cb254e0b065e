// The demo program under the terminal driver, as a person sees it in a log.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/control.h"
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

namespace hub {
namespace {

// The demo in a child process, driven through its control socket as hubplat does.
class DemoChild {
 public:
  explicit DemoChild(const std::vector<std::string>& args) {
    outPath_ = test::MakeTempDir("demo") + "/out.txt";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("HUB_UI_DRIVER", "terminal", 1);
      ::setenv("HUB_UI_WAIT_MS", "20000", 1);
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      std::vector<char*> argv{const_cast<char*>(HUBUIDEMO_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(HUBUIDEMO_PATH, argv.data());
      ::_exit(127);
    }
  }
  ~DemoChild() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Pid() const { return pid_; }
  // Asks until the answer contains `want` (bounded).
  std::string AskUntil(const std::string& request, const std::string& want) {
    std::string got;
    for (auto end = Deadline(); std::chrono::steady_clock::now() < end;) {
      got = platform::ui::SendUiControlRequest(pid_, request, 2000).value_or("");
      if (got.find(want) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return got;
  }
  // The exit status, or -1 when it did not end in time.
  int Wait() {
    for (auto end = Deadline(); std::chrono::steady_clock::now() < end;) {
      int status;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  std::string Output() const {
    std::ifstream in(outPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  static std::chrono::steady_clock::time_point Deadline() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(20);
  }
  pid_t pid_ = -1;
  bool exited_ = false;
  std::string outPath_;
};

TEST(UiDemoRemote, AnotherProcessAnswersThePendingMessageBox) {
  DemoChild demo({"message"});
  std::string listing = demo.AskUntil("windows", "message box");
  EXPECT_NE(listing.find("message box \"Tarveld Explorer\": \"This is how the system tells you something.\""),
            std::string::npos)
      << listing;
  std::string out;
  EXPECT_EQ(platform::ui::RunUiVerb({"--pid", std::to_string(demo.Pid()), "answer", "ok"}, out), 0) << out;
  EXPECT_EQ(demo.Wait(), 0) << demo.Output();
  EXPECT_NE(demo.Output().find("-> ok"), std::string::npos) << demo.Output();
}

TEST(UiDemoRemote, TrayClicksAndMenuChoiceFromAnotherProcess) {
  DemoChild demo({"tray"});
  std::string tray = demo.AskUntil("tray", "icon 0x80040000");
  EXPECT_NE(tray.find("tip \"Tarveld Manager\""), std::string::npos) << tray;
  std::string pid = std::to_string(demo.Pid()), out;
  EXPECT_EQ(platform::ui::RunUiVerb({"--pid", pid, "tray", "double"}, out), 0) << out;
  EXPECT_EQ(platform::ui::RunUiVerb({"--pid", pid, "tray", "right", "501"}, out), 0) << out;
  EXPECT_EQ(platform::ui::RunUiVerb({"--pid", pid, "tray", "right", "502"}, out), 0) << out;
  EXPECT_EQ(demo.Wait(), 0) << demo.Output();
  std::string text = demo.Output();
  EXPECT_NE(text.find("tray icon double-clicked\nhello from the tray menu\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace hub
