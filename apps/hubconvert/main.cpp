// hubconvert FILE...: runs the transfer engine's conversion step on each file
// as a transfer to the player would (the Sonvert rule of its format, the rate
// settings, the tags), printing the status line, the progress and the text
// the step appends; the converted file stays in the "xcode" work folder.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/product_profile.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/transcode.h"
#include "shell/transfer/transcode_rules.h"
#include "platform/program_main.h"

namespace {

// The transfer dialog's status line and file bar, on the terminal.
class TerminalDialog : public hub::ConversionDialog {
 public:
  ~TerminalDialog() override { EndLine(); }
  void SetStatusText(std::string_view text) override {
    EndLine();
    std::printf("%.*s", int(text.size()), text.data());
    open_ = true;
    std::fflush(stdout);
  }
  void SetFileProgressRange(int) override {}
  void SetFileProgressPos(int position) override {
    std::printf(" %d%%", position);
    std::fflush(stdout);
  }
  void EndLine() {
    if (open_) std::printf("\n");
    open_ = false;
  }

 private:
  bool open_ = false;
};

}  // namespace

static int Main(int argc, char** argv) {
  std::string product = "irivmgr";
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--product") == 0) {
    product = argv[2];
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: hubconvert [--product NAME] FILE...\n");
    return 2;
  }
  hub::SelectProduct(product, hub::TheProductProfile());
  int failed = 0;
  for (int i = first; i < argc; ++i) {
    const std::string source = argv[i];
    std::printf("%s\n", source.c_str());
    if (!hub::NeedsTranscode(source)) {
      std::printf("  no conversion: %s\n",
                  hub::DescribeTranscodeRule(hub::GetTranscodeRule(hub::GetTrackFileType(source))).c_str());
      continue;
    }
    hub::_AUDIODATA record;
    hub::ReadTrackTags(source, record);
    std::string message, result;
    {
      TerminalDialog dialog;
      hub::TranscodeForDevice(dialog, result, message, source, record);
    }
    std::printf("  %s\n  %s\n", message.c_str(), result.empty() ? "(not converted)" : result.c_str());
    failed += result.empty();
  }
  return failed ? 1 : 0;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
