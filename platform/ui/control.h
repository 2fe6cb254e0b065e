// Remote control of a process's user interface, so a person can drive a
// daemon as they would with a mouse: each process that starts the server
// listens on "<runtime dir>/ui/<pid>.sock"; hubplat sends one line and reads
// the answer. Requests: "windows", "tray", "click <icon> double|right [<command>]",
// "answer <button>", "press <id>", "set <id> <value>", "page <caption>",
// "menu <command>", "folder <path>", "file <path>", "color <colour>",
// "drop <path>|<path>".
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hub::platform::ui {

class UiControlServer {
 public:
  UiControlServer();  // starts listening; Ok() says whether it could
  ~UiControlServer();
  UiControlServer(const UiControlServer&) = delete;
  UiControlServer& operator=(const UiControlServer&) = delete;
  bool Ok() const;
  const std::string& Path() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Answers one request as the server does (also used by the server's thread).
std::string HandleUiControlRequest(const std::string& request);

// Processes whose user interface can be driven (live servers).
std::vector<pid_t> UiControlPeers();
// Sends one request to the process (0: the only one); nothing when it cannot be reached in time.
std::optional<std::string> SendUiControlRequest(pid_t pid, const std::string& request, int timeoutMs = 5000);

// hubplat's verbs: "tray", "click", "dialogs", "answer" ...; returns the exit code.
int RunUiVerb(const std::vector<std::string>& args, std::string& out);

}  // namespace hub::platform::ui
