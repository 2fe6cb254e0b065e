// Track names of a device's tracks from the user's pattern settings.
#include "common/device_track_name.h"

#include <gtest/gtest.h>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/track_name.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

class DeviceTrackNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    _AUDIODATA r;
    r.artist.Set("  AC/DC. ");
    r.title.Set("Thunder");
    r.trackNumber = 3;
    r.year = 1990;
    r.fileType = kFileTypeMp3;
    r.path.Set("E:\\Music\\thunder.mp3");
    id = device.AddTrack(r);
  }
  test::MemoryDevice device;
  KernelId id;
};

TEST_F(DeviceTrackNameTest, DefaultPatternsFillUnknownForEmptyTags) {
  EXPECT_EQ(FormatTrackDisplayName(device, id), "ACDC - Unknown - 03 - Thunder");
  EXPECT_EQ(FormatTrackFileName(device, id), "ACDC - Unknown - 03 - Thunder.mp3");
  EXPECT_EQ(FormatTrackUrlName(device, id), "ACDC%20-%20Unknown%20-%2003%20-%20Thunder.mp3");
}

TEST_F(DeviceTrackNameTest, PatternComesFromTheSetting) {
  SelectProduct("kestmgr.exe", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  ASSERT_TRUE(WriteSettingString(kTrackDisplayFormatSetting, "%Y %T"));
  EXPECT_EQ(FormatTrackDisplayName(device, id), "1990 Thunder");
  ASSERT_TRUE(WriteSettingString(kTrackDisplayFormatSetting, ""));  // empty: the default
  EXPECT_EQ(FormatTrackDisplayName(device, id), "ACDC - Unknown - 03 - Thunder");
  ASSERT_TRUE(WriteSettingString(kTrackDisplayFormatSetting, "no codes"));
  EXPECT_EQ(FormatTrackDisplayName(device, id), "no codes");
}

TEST_F(DeviceTrackNameTest, DeviceWithoutTagSupportGivesItsItemName) {
  device.tagSearch = 0;
  EXPECT_EQ(FormatTrackDisplayName(device, id), "E:\\Music\\thunder.mp3");
}

}  // namespace
}  // namespace hub
