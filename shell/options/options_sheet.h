// The Options command's sheet: which pages it holds for the attached device
// and product, in order, and the sheet itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

namespace hub {

// What the page set depends on.
struct PageSetQuery {
  int product = 0;            // the product number
  uint32_t deviceNumber = 0;  // given to Attach
  uint32_t keyWord = 0;       // the first key word of the device's own id
  bool tagSearch = false;     // SupportsTagSearch
  bool copyToComputer = false;
  bool memorySegments = false;
  int osMajor = 5;
};

// The pages' class names in the order the sheet shows them.
std::vector<std::string> OptionPageSet(const PageSetQuery& query);
// The system's major version, as the pages ask it (this layer answers 5).
int OsMajorVersion();

// "<Explorer name> Options": the pages for the attached device, run modally.
void ShowOptionsSheet(platform::ui::WindowHandle owner);
// The streaming-playback page alone, in a sheet of the same caption.
void ShowPipecastSheet(platform::ui::WindowHandle owner);

}  // namespace hub
