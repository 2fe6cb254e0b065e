// A property sheet that shows its pages as a tree on the left instead of a
// row of tabs, with a frame above the page showing the page's caption.
// Tab captions give the tree paths: "Jukebox::Tag Handling" puts the page
// "Tag Handling" under a folder node "Jukebox".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui_window.h"

namespace hub::TreePropSheet {

using platform::ui::Rect;
using platform::ui::WindowHandle;

using Color = uint32_t;  // 0x00BBGGRR
using IconHandle = int;  // -1: none
inline constexpr IconHandle kNoIcon = -1;

// What a frame paint produced (the headless stand-in for the device context).
struct FrameDrawing {
  bool captionDrawn = false;
  Rect captionRect;
  std::string captionText;     // as drawn: a leading blank, cut with "..." when too long
  int captionTextLeft = 0;
  bool iconDrawn = false;
  std::vector<Color> gradient;  // one colour per drawn column
  Rect edge;                    // the sunken edge around the frame
  Rect messageRect;
  std::string messageText;
  uint32_t messageFormat = 0;
};

class CPropPageFrame {
 public:
  virtual ~CPropPageFrame() = default;
  virtual bool Create(uint32_t style, const Rect& rect, platform::ui::Window* parent, int id) = 0;
  virtual platform::ui::Window* GetFrameWnd() = 0;
  virtual void SetCaptionVisible(bool visible);
  virtual void SetCaptionHeight(int height);
  virtual void SetCaption(const std::string& text, IconHandle icon = kNoIcon);
  virtual void SetMessageText(const std::string& text);
  virtual void SetMessageFormat(uint32_t format);
  virtual void Draw(FrameDrawing& dc);
  virtual void MessageArea(Rect& rect);
  virtual void DrawMessage(FrameDrawing& dc, const Rect& rect, const std::string& text, uint32_t format);
  virtual void CaptionArea(Rect& rect);
  virtual void DrawCaption(FrameDrawing& /*dc*/, const Rect& /*rect*/, const std::string& /*text*/, IconHandle /*icon*/) {}

  bool GetShowCaption() const { return showCaption_; }
  int GetCaptionHeight() const { return captionHeight_; }
  const std::string& GetMsgText() const { return messageText_; }
  const std::string& GetCaptionText() const { return captionText_; }
  IconHandle GetCaptionIcon() const { return captionIcon_; }
  int Invalidations() const { return invalidations_; }

 protected:
  void Invalidate();
  Rect ClientRect();

  bool showCaption_ = false;
  int captionHeight_ = 0;
  std::string captionText_;
  IconHandle captionIcon_ = kNoIcon;
  std::string messageText_;
  uint32_t messageFormat_ = 0x825;  // centred, single line, no prefix
  int invalidations_ = 0;
};

class CPropPageFrameDefault : public platform::ui::Window, public CPropPageFrame {
 public:
  CPropPageFrameDefault() = default;
  ~CPropPageFrameDefault() override;
  const char* KindName() const override { return "frame"; }
  bool Create(uint32_t style, const Rect& rect, platform::ui::Window* parent, int id) override;
  platform::ui::Window* GetFrameWnd() override { return this; }
  void SetCaption(const std::string& text, IconHandle icon = kNoIcon) override;
  void MessageArea(Rect& rect) override;
  void CaptionArea(Rect& rect) override;
  void DrawCaption(FrameDrawing& dc, const Rect& rect, const std::string& text, IconHandle icon) override;
  // A paint cycle.
  FrameDrawing Paint();
  // Images in the caption icon list (0 or 1).
  int CaptionImages() const { return static_cast<int>(images_.size()); }

 private:
  std::vector<IconHandle> images_;
};

// Columns left + 4 .. right (inclusive) of a horizontal gradient.
std::vector<Color> HorizontalGradient(const Rect& rect, Color left, Color right);

// Colours the model's "system" uses.
inline constexpr Color kColorActiveCaption = 0x00D1B499;
inline constexpr Color kColor3dFace = 0x00F0F0F0;
// Width of one caption character, for the ellipsis.
inline constexpr int kCaptionCharWidth = 7;
// Height of a tab item, which the caption takes.
inline constexpr int kTabItemHeight = 18;

inline constexpr int kTreeId = 0x7EEE;
inline constexpr int kFrameId = 0xFFFF;
inline constexpr uint32_t kTreeStyle = 0x50010227;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsExClientEdge = 0x200;

class CTreePropSheet : public platform::ui::PropertySheet {
 public:
  using Item = platform::ui::TreeView::Item;

  explicit CTreePropSheet(std::string caption, WindowHandle parent = 0, int selectPage = 0);
  ~CTreePropSheet() override;

  // Only before the window exists.
  bool SetTreeMode(bool treeMode, bool pageCaption = false, bool treeImages = false);
  bool IsTreeMode() const { return treeViewMode_; }
  void SetEmptyPageText(std::string text) { emptyPageTextFormat_ = std::move(text); }
  void SetTreeWidth(int width) { treeWidth_ = width; }
  // Images the owner supplies: 0 and 1 become the folder and the fallback page image.
  void SetTreeDefaultImages(std::vector<IconHandle> images) { defaultImages_ = std::move(images); }

  platform::ui::TreeView* GetPageTreeControl() const { return pageTree_; }
  CPropPageFrame* GetFrame() const { return frame_.get(); }
  const Rect& TreeRect() const { return treeRect_; }

  virtual std::string FormatEmptyPageText(const std::string& format, const std::string& caption);
  virtual std::unique_ptr<platform::ui::TreeView> MakeTreeControl();
  virtual std::unique_ptr<CPropPageFrame> MakeFrame();

  // The path component before the first unescaped "::"; `path` keeps the rest.
  static std::string SplitTreePath(std::string& path);

  void ShowNextPage();
  void ShowPreviousPage();
  bool OnKey(int vk, bool ctrl, bool shift) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;

 protected:
  bool OnInitDialog() override;
  void OnPagesChanged() override;
  void OnActivePageChanged() override;
  void OnDestroy() override { DestroyTree(); }

 private:
  void RebuildTree();
  Item FindOrAddTreePath(std::string path, Item parent);
  Item TreeItemOfPage(int page) const;
  void SelectTreeItemOfPage(int page);
  void SyncTreeWithTab();
  void RefreshFrameCaption();
  void ShiftChildWindows(int dx, int dy);
  void DestroyTree();

  bool treeViewMode_ = true;
  platform::ui::TreeView* pageTree_ = nullptr;
  std::unique_ptr<CPropPageFrame> frame_;
  bool isInSelectionChange_ = false;
  bool pageCaption_ = false;
  bool treeImages_ = false;
  std::vector<IconHandle> images_;         // the tree's image list
  std::vector<IconHandle> defaultImages_;  // the owner's default images
  std::string emptyPageTextFormat_;
  int treeWidth_ = 150;
  Rect treeRect_;
};

}  // namespace hub::TreePropSheet
