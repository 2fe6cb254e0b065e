// What the command routines share: the information box, plural endings and
// the one way device work is run and its failure reported.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "common/shell_routines.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/pidl_access.h"
#include "shell/namespace/the_client.h"

namespace hub::commands {

inline void Inform(std::string_view text) { ShowMessage(text, platform::ui::kMbIconInformation); }
// "s" unless the count is 1.
inline const char* Plural(long long count) { return count == 1 ? "" : "s"; }
// Yes/No with the question icon; true for Yes.
inline bool AskYesNo(std::string_view question) {
  return ShowMessage(question, platform::ui::kMbYesNo | platform::ui::kMbIconQuestion) == platform::ui::kIdYes;
}

// Runs `work`. A device failure is reported after `context` and false is
// returned; a malformed item shows `pidlText` when it is given, else counts as
// a device failure. The host's own script errors pass through.
template <class Work>
bool DeviceWork(std::string_view context, Work&& work, std::string_view pidlText = {}) {
  try {
    work();
    return true;
  } catch (const platform::ui::UiScriptError&) {
    throw;
  } catch (const CPidlException& e) {
    if (!pidlText.empty()) Inform(pidlText);
    else ReportClientException(context, e);
  } catch (const std::exception& e) {
    ReportClientException(context, e);
  }
  return false;
}

// Walks stop here: a peer that never says "no more" cannot keep a command forever.
inline constexpr size_t kMaxWalk = 1u << 20;

}  // namespace hub::commands
