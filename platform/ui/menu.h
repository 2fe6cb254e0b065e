// Popup menus of the headless model: items, separators, submenus, greyed and
// checked items. Tracking asks the UiDriver which command a person chose and
// returns it or posts it to the owner window as WM_COMMAND.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

inline constexpr uint32_t kMfGrayed = 0x1;
inline constexpr uint32_t kMfChecked = 0x8;
inline constexpr uint32_t kMfSeparator = 0x800;
inline constexpr uint32_t kTpmReturnCmd = 0x100;
inline constexpr uint32_t kTpmRightButton = 0x2;

class Menu {
 public:
  struct Item {
    uint32_t id = 0;
    std::string text;
    uint32_t flags = 0;
    std::shared_ptr<Menu> submenu;
    bool Selectable() const { return !(flags & (kMfGrayed | kMfSeparator)) && !submenu; }
  };

  void AppendItem(uint32_t id, std::string_view text, uint32_t flags = 0);
  void AppendSeparator();
  void AppendSubmenu(std::string_view text, Menu submenu, uint32_t flags = 0);
  // Inserts before `position`; -1 or a position past the end appends. Answers the position used.
  int InsertItem(int position, const Item& item);
  int ItemCount() const { return static_cast<int>(items_.size()); }
  // The item at a position (null outside), and the position of a command on this level (-1: none).
  const Item* ItemAt(int position) const;
  Item* MutableItemAt(int position);
  int PositionOf(uint32_t id) const;
  bool RemoveAt(int position);
  void Clear() { items_.clear(); }
  bool CheckItem(uint32_t id, bool checked);
  bool EnableItem(uint32_t id, bool enabled);
  // Searches submenus too.
  const Item* FindItem(uint32_t id) const;
  const std::vector<Item>& Items() const { return items_; }
  bool Empty() const { return items_.empty(); }
  // One line per item, indented for submenus ("525 Options... [greyed]").
  std::string Describe(int indent = 0) const;

 private:
  std::vector<Item> items_;
};

// Shows the menu; the chosen command (0: dismissed) is returned with
// kTpmReturnCmd, otherwise posted to `owner` as WM_COMMAND and the result is
// non-zero when the menu was shown.
uint32_t TrackPopupMenu(const Menu& menu, uint32_t flags, WindowHandle owner);

}  // namespace hub::platform::ui
