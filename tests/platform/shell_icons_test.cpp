// Image lists, icon handles and the file-type icons of the type database.
#include <gtest/gtest.h>

#include "platform/shell/file_info.h"
#include "platform/shell/image_list.h"

namespace hub::platform {
namespace {

TEST(ShellIconsTest, ImageListsGrowAndHandOutIcons) {
  size_t outstanding = ShellIconsOutstanding();
  ImageList list(16, 0xFEFFFF);
  EXPECT_EQ(list.Add("folder"), 0);
  ShellIcon icon = CreateShellIcon("audio-x-generic", 16);
  EXPECT_EQ(list.AddIcon(icon), 1);
  EXPECT_TRUE(DestroyShellIcon(icon));
  EXPECT_FALSE(DestroyShellIcon(icon));
  EXPECT_EQ(list.AddIcon(icon), -1);
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Name(1), "audio-x-generic");
  EXPECT_EQ(list.Name(2), "");
  EXPECT_EQ(list.Name(-1), "");
  ShellIcon got = list.GetIcon(0, ILD_TRANSPARENT);
  auto info = GetShellIconInfo(got);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->image, "folder");
  EXPECT_EQ(info->pixels, 16);
  EXPECT_EQ(list.GetIcon(7, ILD_NORMAL), 0u);
  DestroyShellIcon(got);
  EXPECT_EQ(ShellIconsOutstanding(), outstanding);
}

TEST(ShellIconsTest, FileTypeIconsComeFromTheNameAlone) {
  struct Case {
    const char* name;
    uint32_t flags;
    const char* image;
    int pixels;
  };
  const Case cases[] = {
      {"a.mp3", SHGFI_ICON, "audio-x-generic", 32},
      {"b.MP3", SHGFI_ICON | SHGFI_SMALLICON, "audio-x-generic", 16},
      {"c.ogg", SHGFI_ICON | SHGFI_LINKOVERLAY, "audio-x-generic (link)", 32},
      {"notes.txt", SHGFI_ICON, "text-x-generic", 32},
      {"/no/such/folder/p.png", SHGFI_ICON | SHGFI_SMALLICON, "image-x-generic", 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t before = FileTypeLookups();
    SHFILEINFO info;
    ASSERT_TRUE(SHGetFileInfo(c.name, FILE_ATTRIBUTE_NORMAL, info, c.flags | SHGFI_USEFILEATTRIBUTES));
    EXPECT_EQ(FileTypeLookups(), before + 1);
    auto icon = GetShellIconInfo(info.hIcon);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->image, c.image);
    EXPECT_EQ(icon->pixels, c.pixels);
    DestroyShellIcon(info.hIcon);
  }
  SHFILEINFO noIcon;
  ASSERT_TRUE(SHGetFileInfo("a.mp3", FILE_ATTRIBUTE_NORMAL, noIcon, SHGFI_USEFILEATTRIBUTES));
  EXPECT_EQ(noIcon.hIcon, 0u);
  EXPECT_EQ(noIcon.contentType, "audio/mpeg");
}

}  // namespace
}  // namespace hub::platform
