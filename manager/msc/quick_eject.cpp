// Quick eject over the platform's eject, with the messages the user sees.
#include "manager/msc/quick_eject.h"

#include <cstdio>

#include "common/shell_routines.h"

namespace hub {

void ShowUserMessage(const UserMessage& message) {
  if (message.topmost) {
    ShowTopmostMessage(message.text, platform::ui::kMbIconInformation);
  } else {
    ShowMessage(message.text, platform::ui::kMbIconInformation);
  }
}

std::string EjectFailureMessage(int code, int systemError) {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "The Manager could not automatically unmount your player after 5 seconds. (code %d:%x).\n"
                "Another application may still be communicating with it.\n\n"
                "If this message persists, try Windows 'Safely Remove Hardware' in the systray.",
                code, static_cast<unsigned>(systemError));
  return buf;
}

int QuickEjectVolume(std::string_view root, const MessageSink& say, const platform::EjectOptions& options) {
  char letter = platform::DriveLetterOf(root);
  platform::EjectResult r =
      letter ? platform::EjectVolume(letter, options) : platform::EjectResult{platform::kEjectOpenFailed, ENOENT};
  UserMessage message{r.ok() ? std::string(kEjectedMessage) : EjectFailureMessage(r.failureCode, r.systemError), true};
  if (say) {
    say(std::move(message));
  } else {
    ShowUserMessage(message);
  }
  return r.ok() ? 1 : 0;
}

}  // namespace hub
