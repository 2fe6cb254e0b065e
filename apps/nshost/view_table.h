// How nshost prints the right pane: the view's list as a table of its
// visible columns in display order, widths scaled from the columns' pixels
// to the terminal, alignment kept, "*" on selected rows and ">" on the row
// the caller marks (the queue's current track).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/list_view.h"

namespace hub::nshost {

// The terminal's width in characters (COLUMNS, the terminal's size, else 160).
int TerminalWidth();

// `text` cut or padded to `width` characters (UTF-8 aware), on the right when `right`.
std::string FitCell(std::string_view text, int width, bool right);

// Character widths for pixel widths, scaled down when they do not fit `available`.
std::vector<int> ScaleWidths(const std::vector<int>& pixels, int available);

// The table: a header line, then one line per row.
std::vector<std::string> FormatListTable(const platform::ui::ListView& list, int terminalWidth,
                                         const std::function<bool(int row)>& current);

}  // namespace hub::nshost
