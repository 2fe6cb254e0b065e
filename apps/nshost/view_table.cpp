// The right pane as a table.
#include "view_table.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace hub::nshost {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int CharCount(std::string_view s) {
  int n = 0;
  for (char c : s) n += !IsContinuation(c);
  return n;
}

}  // namespace

int TerminalWidth() {
  if (const char* columns = std::getenv("COLUMNS")) {
    int n = std::atoi(columns);
    if (n >= 20 && n <= 1000) return n;
  }
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 160;
}

std::string FitCell(std::string_view text, int width, bool right) {
  if (width <= 0) return {};
  std::string out;
  int chars = 0;
  for (size_t i = 0; i < text.size();) {
    size_t next = i + 1;
    while (next < text.size() && IsContinuation(text[next])) ++next;
    if (chars == width) break;
    out.append(text.substr(i, next - i));
    ++chars;
    i = next;
  }
  if (CharCount(out) < CharCount(text) && width > 1) {
    // Cut: the last character says so.
    while (!out.empty() && IsContinuation(out.back())) out.pop_back();
    if (!out.empty()) out.pop_back();
    out += '~';
  }
  std::string pad(static_cast<size_t>(width - CharCount(out)), ' ');
  return right ? pad + out : out + pad;
}

std::vector<int> ScaleWidths(const std::vector<int>& pixels, int available) {
  constexpr int kPixelsPerChar = platform::ui::kListCharWidth;
  std::vector<int> chars;
  int total = 0;
  for (int p : pixels) {
    chars.push_back(std::max(3, p / kPixelsPerChar));
    total += chars.back();
  }
  if (total <= available || total == 0) return chars;
  for (int& c : chars) c = std::max(3, c * available / total);
  return chars;
}

std::vector<std::string> FormatListTable(const platform::ui::ListView& list, int terminalWidth,
                                         const std::function<bool(int row)>& current) {
  auto columns = list.Columns();
  std::vector<int> order = list.ColumnOrder();
  std::vector<int> pixels;
  for (int c : order) pixels.push_back(columns[c].width);
  int gaps = order.empty() ? 0 : static_cast<int>(order.size()) - 1;
  std::vector<int> widths = ScaleWidths(pixels, std::max(10, terminalWidth - 6 - gaps));
  std::vector<std::string> lines;
  std::string head = "      ";
  for (size_t i = 0; i < order.size(); ++i)
    head += (i ? " " : "") + FitCell(columns[order[i]].text, widths[i], columns[order[i]].format == platform::ui::kLvcfmtRight);
  while (!head.empty() && head.back() == ' ') head.pop_back();
  lines.push_back(head);
  for (int row = 0; row < list.ItemCount(); ++row) {
    char mark[24];
    std::snprintf(mark, sizeof mark, "%3d%c%c ", row, current(row) ? '>' : ' ', list.IsSelected(row) ? '*' : ' ');
    std::string line = mark;
    for (size_t i = 0; i < order.size(); ++i) {
      const auto& column = columns[order[i]];
      line += (i ? " " : "") + FitCell(list.ItemText(row, column.subItem), widths[i],
                                       column.format == platform::ui::kLvcfmtRight);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace hub::nshost
