// The user-interface verbs of hubplat: the tray icon, open dialogs and
// pending message boxes of a process that serves its UI control socket.
#include <cstdio>
#include <string>

#include "verbs.h"
#include "platform/ui/control.h"

namespace hub::hubplat {
namespace {

int RunUi(const char* verb, const Args& args) {
  std::vector<std::string> words;
  // "--pid N" may come first, to choose among several processes.
  size_t i = 0;
  if (args.size() >= 2 && args[0] == "--pid") {
    words = {"--pid", args[1]};
    i = 2;
  }
  words.push_back(verb);
  for (; i < args.size(); ++i) words.push_back(args[i]);
  std::string out;
  int rc = platform::ui::RunUiVerb(words, out);
  std::fputs(out.c_str(), rc == 0 ? stdout : stderr);
  return rc;
}

int Tray(const Args& args) { return RunUi("tray", args); }
int Dialogs(const Args& args) { return RunUi("dialogs", args); }
int Answer(const Args& args) { return args.empty() ? 2 : RunUi("answer", args); }

const VerbRegistration kTray{{"tray", "[--pid N] [double | right [<command>]]",
                              "shows the tray icon; double-clicks it, or right-clicks it and chooses a menu command",
                              Tray}};
const VerbRegistration kDialogs{
    {"dialogs", "[--pid N]", "lists open dialogs with their control values, and pending message boxes", Dialogs}};
const VerbRegistration kAnswer{
    {"answer", "[--pid N] ok|cancel|yes|no | press <id> | set <id> <value> | page <caption> | menu <command> | folder <path>",
     "answers the pending message box or acts in the pending dialog", Answer}};

}  // namespace
}  // namespace hub::hubplat
