// Popup menus: items and their tracking through the UiDriver.
#include "platform/ui/menu.h"

#include "platform/ui/driver.h"
#include "platform/ui/pump.h"

namespace hub::platform::ui {

void Menu::AppendItem(uint32_t id, std::string_view text, uint32_t flags) {
  items_.push_back(Item{id, std::string(text), flags, nullptr});
}
void Menu::AppendSeparator() { items_.push_back(Item{0, {}, kMfSeparator, nullptr}); }
void Menu::AppendSubmenu(std::string_view text, Menu submenu, uint32_t flags) {
  items_.push_back(Item{0, std::string(text), flags, std::make_shared<Menu>(std::move(submenu))});
}

bool Menu::CheckItem(uint32_t id, bool checked) {
  for (auto& item : items_) {
    if (item.submenu && item.submenu->CheckItem(id, checked)) return true;
    if (!item.submenu && !(item.flags & kMfSeparator) && item.id == id) {
      item.flags = checked ? item.flags | kMfChecked : item.flags & ~kMfChecked;
      return true;
    }
  }
  return false;
}

bool Menu::EnableItem(uint32_t id, bool enabled) {
  for (auto& item : items_) {
    if (item.submenu && item.submenu->EnableItem(id, enabled)) return true;
    if (!item.submenu && !(item.flags & kMfSeparator) && item.id == id) {
      item.flags = enabled ? item.flags & ~kMfGrayed : item.flags | kMfGrayed;
      return true;
    }
  }
  return false;
}

const Menu::Item* Menu::FindItem(uint32_t id) const {
  for (const auto& item : items_) {
    if (item.submenu) {
      if (const Item* found = item.submenu->FindItem(id)) return found;
    } else if (!(item.flags & kMfSeparator) && item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

int Menu::InsertItem(int position, const Item& item) {
  if (position < 0 || position > ItemCount()) position = ItemCount();
  items_.insert(items_.begin() + position, item);
  return position;
}

const Menu::Item* Menu::ItemAt(int position) const {
  return position >= 0 && position < ItemCount() ? &items_[position] : nullptr;
}

Menu::Item* Menu::MutableItemAt(int position) {
  return position >= 0 && position < ItemCount() ? &items_[position] : nullptr;
}

int Menu::PositionOf(uint32_t id) const {
  for (int i = 0; i < ItemCount(); ++i)
    if (!(items_[i].flags & kMfSeparator) && items_[i].id == id) return i;
  return -1;
}

bool Menu::RemoveAt(int position) {
  if (position < 0 || position >= ItemCount()) return false;
  items_.erase(items_.begin() + position);
  return true;
}

std::string Menu::Describe(int indent) const {
  std::string out;
  for (const auto& item : items_) {
    out += std::string(indent * 2, ' ');
    if (item.flags & kMfSeparator) out += "----";
    else if (item.submenu) out += item.text + " >";
    else out += std::to_string(item.id) + " " + item.text;
    if (item.flags & kMfChecked) out += " [checked]";
    if (item.flags & kMfGrayed) out += " [greyed]";
    out += "\n";
    if (item.submenu) out += item.submenu->Describe(indent + 1);
  }
  return out;
}

uint32_t TrackPopupMenu(const Menu& menu, uint32_t flags, WindowHandle owner) {
  uint32_t chosen = 0;
  if (auto queued = TakeMenuChoice()) {
    // A choice sent with a tray click stands for the person's click in the menu.
    const Menu::Item* item = menu.FindItem(*queued);
    chosen = item && item->Selectable() ? *queued : 0;
  } else {
    chosen = TheUiDriver().ChooseMenuItem(menu, owner);
  }
  if (flags & kTpmReturnCmd) return chosen;
  if (chosen) PostToWindow(owner, kWmCommand, chosen, 0);
  return 1;
}

}  // namespace hub::platform::ui
