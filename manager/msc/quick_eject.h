// Quick eject: makes a mass-storage player safe to unplug from inside the
// manager (flush, unmount, power off), and tells the user how it went.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/device_ui.h"
#include "platform/fs/eject.h"

namespace hub {

using MessageSink = std::function<void(UserMessage)>;

// Shows the message now (top-most or not), with the product's caption.
void ShowUserMessage(const UserMessage& message);

inline constexpr std::string_view kEjectedMessage = "You can now safely unplug your player.  Have fun!";

// The failure message for a failure code and the system error of the failing step.
std::string EjectFailureMessage(int code, int systemError);

// Ejects the volume of `root` (only its drive letter counts). 1 when ejected.
// Blocks about five seconds while a busy volume is retried. Its messages go to
// `say` when given, else they are shown at once.
int QuickEjectVolume(std::string_view root, const MessageSink& say = {},
                     const platform::EjectOptions& options = {});

}  // namespace hub
