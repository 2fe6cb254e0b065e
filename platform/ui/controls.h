// Controls of the headless model. Each keeps the state a person would see
// (text, check, selection, range and position) and tells its window when the
// user changed it, as the notifications of the real controls do.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/bitmap.h"
#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

class Window;

// Guards the model's state against the control server's reading thread.
std::recursive_mutex& ModelMutex();

enum class ControlKind { Static, Button, CheckBox, Edit, ComboBox, ListView, TreeView, Slider, Progress, Toolbar, StatusBar };
const char* ControlKindName(ControlKind kind);

// Notification codes a control sends to its window.
inline constexpr int kNmReleasedCapture = -16;
inline constexpr int kNmKeyDown = -155;          // slider keyboard move
inline constexpr int kTvnSelChanging = -401;     // param: new item; non-zero answer refuses
inline constexpr int kTvnSelChanged = -402;      // param: new item
// Slider scroll codes.
inline constexpr int kSbThumbPosition = 4;
inline constexpr int kSbEndScroll = 8;

// A control as declared in a dialog template.
struct ControlSpec {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  std::string text;
  bool visible = true;
  bool enabled = true;
};

class Control {
 public:
  Control(Window& owner, const ControlSpec& def);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  int Id() const { return id_; }
  ControlKind Kind() const { return kind_; }
  Window& Owner() const { return owner_; }

  std::string Text() const;
  void SetText(std::string_view text);
  bool IsVisible() const;
  void Show(bool visible);
  bool IsEnabled() const;
  void Enable(bool enabled);

  // The value a person sees, one line ("8049", "[x]", "row 0: a | b" ...).
  virtual std::string Value() const;
  // Applies what a person typed or picked; false with `error` when it does not fit.
  virtual bool ApplyUserValue(std::string_view value, std::string& error);

 protected:
  void Changed();

  Window& owner_;
  const int id_;
  const ControlKind kind_;
  std::string text_;
  bool visible_ = true;
  bool enabled_ = true;
};

// A static: its text, or a picture (the bitmap style), or a solid fill of one
// colour (a swatch painted by its owner).
class Static : public Control {
 public:
  using Control::Control;
  // Shows the picture instead of the text; null goes back to the text.
  void SetPicture(std::shared_ptr<const media::Bitmap> picture);
  std::shared_ptr<const media::Bitmap> Picture() const;
  // A COLORREF (0x00BBGGRR) the static is painted with; nothing: no fill.
  void SetFillColor(std::optional<uint32_t> color);
  std::optional<uint32_t> FillColor() const;
  std::string Value() const override;

 private:
  std::shared_ptr<const media::Bitmap> picture_;
  std::optional<uint32_t> fill_;
};

class CheckBox : public Control {
 public:
  using Control::Control;
  int Check() const;
  void SetCheck(int state);
  std::string Value() const override;
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  int check_ = 0;
};

// A drop-down list: a list of strings and one current selection (-1: none).
class ComboBox : public Control {
 public:
  using Control::Control;
  int AddString(std::string_view text);
  void ResetContent();
  int Count() const;
  std::string ItemText(int index) const;
  int CurSel() const;
  bool SetCurSel(int index);
  int FindStringExact(std::string_view text) const;  // case-insensitive, as the real control
  std::string Value() const override;
  bool ApplyUserValue(std::string_view value, std::string& error) override;
  // A combo box whose text can also be typed: a text no entry matches is kept
  // as typed, with no entry selected.
  void SetEditable(bool editable) { editable_ = editable; }
  // The selected entry's text, else what was typed.
  std::string CurrentText() const;

 private:
  std::vector<std::string> items_;
  int cur_ = -1;
  bool editable_ = false;
};

// A tree of items. Items are opaque handles; 0 means none, kRoot the invisible root.
class TreeView : public Control {
 public:
  using Item = uint32_t;
  static constexpr Item kRoot = 0xFFFF0000u;

  using Control::Control;
  Item InsertItem(std::string_view text, Item parent = kRoot, int64_t data = 0);
  void DeleteAllItems();
  int Count() const;
  Item FirstChild(Item item) const;
  Item NextSibling(Item item) const;
  Item PrevSibling(Item item) const;
  Item Parent(Item item) const;  // 0 for a top-level item
  std::string ItemText(Item item) const;
  void SetItemData(Item item, int64_t data);
  int64_t ItemData(Item item) const;
  void SetItemImage(Item item, int image, int selectedImage);
  int ItemImage(Item item) const;
  void Expand(Item item, bool expand);
  bool IsExpanded(Item item) const;
  Item Selected() const;
  // Selects as a click does: the window may refuse through kTvnSelChanging.
  bool SelectItem(Item item);
  // "A::B": the item of that text path (0 when none).
  Item FindPath(std::string_view path) const;
  std::string PathOf(Item item) const;
  uint32_t Style() const;
  void SetStyle(uint32_t style);
  uint32_t ExStyle() const;
  void SetExStyle(uint32_t style);

  std::string Value() const override;
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  struct Node {
    std::string text;
    Item parent = 0;
    std::vector<Item> children;
    int64_t data = 0;
    int image = -1;
    int selectedImage = -1;
    bool expanded = false;
  };
  const std::vector<Item>& ChildrenOf(Item item) const;
  std::map<Item, Node> nodes_;
  std::vector<Item> roots_;
  Item next_ = 1;
  Item selected_ = 0;
  uint32_t style_ = 0;
  uint32_t exStyle_ = 0;
};

class Slider : public Control {
 public:
  using Control::Control;
  void SetRange(int low, int high);
  int Min() const;
  int Max() const;
  int Pos() const;
  void SetPos(int pos);  // clamped to the range
  std::string Value() const override;
  // Moves the thumb as a drag does: scroll notifications, then released capture.
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
};

class Progress : public Control {
 public:
  using Control::Control;
  void SetRange(int low, int high);
  void SetStep(int step);
  void SetPos(int pos);
  void StepIt();  // wraps to the low end past the high end, as the real bar does
  int Min() const;
  int Max() const;
  int Step() const;
  int Pos() const;
  std::string Value() const override;
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  int min_ = 0;
  int max_ = 100;
  int step_ = 10;
  int pos_ = 0;
};

}  // namespace hub::platform::ui

// The list view and the bars are controls too; callers that include this header see them.
#include "platform/ui/bars.h"
#include "platform/ui/list_view.h"
