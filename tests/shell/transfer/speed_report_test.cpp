// The transfer-speed report: processor, player and speed in the posted
// address, every value encoded so no text can change the query.
#include "shell/transfer/speed_report.h"

#include <gtest/gtest.h>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/transfer_dialog.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

TEST(SpeedReportTest, ProcessorFromCpuInfo) {
  struct Case {
    std::string cpuinfo;
    std::string make;
    int mhz;
  };
  const Case cases[] = {
      {"processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu MHz\t\t: 1001.000\n", "AMD", 1005},
      {"processor\t: 0\nvendor_id\t: GenuineIntel\ncpu MHz\t\t: 1000.000\nvendor_id\t: AuthenticAMD\n", "INTEL", 1000},
      {"vendor_id : CentaurHauls\ncpu MHz : 2399.998\n", "X86", 2400},
      {"", "X86", 0},
      {"model name\t: ARMv8\n", "X86", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CpuMakeFromCpuInfo(c.cpuinfo), c.make) << c.cpuinfo;
    EXPECT_EQ(RoundedCpuSpeed(CpuMhzFromCpuInfo(c.cpuinfo)), c.mhz) << c.cpuinfo;
  }
}

TEST(SpeedReportTest, DeviceTypes) {
  const std::tuple<uint32_t, uint32_t, std::string> rows[] = {
      {0, 1, "JB"}, {0, 2, "J2"}, {0, 3, "J3"}, {0, 4, "JZ"}, {1, 0, "II"},
      {1, 1, "JB"}, {5, 0, "MV"}, {10, 0, ""},  {0, 0, ""},   {5, 1, ""},
  };
  for (const auto& [device, key, type] : rows) EXPECT_EQ(SpeedReportDeviceType(device, key), type) << device << "/" << key;
}

TEST(SpeedReportTest, QueryEncodesEveryValue) {
  SpeedReport r{.cpuMake = "AMD", .cpuMhz = 1001, .os = "Linux", .version = "1.2 beta&x=1#top",
                .deviceType = "MV", .hardwareVersion = "HW 2", .firmwareVersion = "1.0 a/b%", .speed = 0, .files = 3};
  EXPECT_EQ(BuildSpeedReportQuery(r),
            "cpu_make=AMD&cpu_speed=1005&os=Linux&ksxp_ver=1.2+beta%26x%3D1%23top&dev_type=MV&dev_hwver=HW+2"
            "&dev_fwver=1.0+a%2Fb%25&ksxp_mbps=0&ksxp_sampsize=3");
  r.speed = 1234;
  r.deviceType.clear();
  EXPECT_NE(BuildSpeedReportQuery(r).find("&dev_type=&dev_hwver=HW+2&dev_fwver=1.0+a%2Fb%25&ksxp_mbps=1234&"),
            std::string::npos);
}

class VersionedDevice : public test::MemoryDevice {
 public:
  std::string GetHardwareVersion() override { return "Rev B"; }
  std::string GetFirmwareVersion() override { return "1.65 EU"; }
};

TEST(SpeedReportTest, ButtonsOpenTheAddressesAndNothingWithoutThem) {
  SelectProduct("kestmgr", TheProductProfile());
  test::InstallProductKey(TheProductProfile().productRegistryKey);
  VersionedDevice device;
  BindClient(&device);
  uint32_t number = ClientDeviceNumber();
  KernelId own = ClientOwnId();
  SetClientAttach(5, KernelId(0u));
  size_t before = ReadShellRequests().size();
  OpenSpeedComparison();
  PostSpeedResults(250, 4);
  EXPECT_EQ(ReadShellRequests().size(), before);

  WriteSettingString(kCompareUrlSetting, "http://example.invalid/compare");
  WriteSettingString(kPostUrlSetting, "http://example.invalid/post?");
  OpenSpeedComparison();
  PostSpeedResults(250, 4);
  auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_EQ(requests[before], "open\thttp://example.invalid/compare\t");
  std::string expected = "open\thttp://example.invalid/post?" + BuildSpeedReportQuery(DescribeThisTransfer(250, 4)) + "\t";
  EXPECT_EQ(requests[before + 1], expected);
  EXPECT_NE(expected.find("&os=Linux&"), std::string::npos);
  EXPECT_NE(expected.find("&dev_type=MV&dev_hwver=Rev+B&dev_fwver=1.65+EU&ksxp_mbps=250&ksxp_sampsize=4\t"),
            std::string::npos);
  // The transfer dialog's two buttons.
  CTransferDialog dialog;
  dialog.SetDeviceLink({&device, nullptr, nullptr, nullptr});
  dialog.speed = 1234;
  dialog.totalFiles = 3;
  dialog.OnCommand(CTransferDialog::kIdCompare);
  dialog.OnCommand(CTransferDialog::kIdPostResults);
  requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 4);
  EXPECT_EQ(requests[before + 2], "open\thttp://example.invalid/compare\t");
  EXPECT_NE(requests[before + 3].find("&ksxp_mbps=1234&ksxp_sampsize=3\t"), std::string::npos) << requests[before + 3];
  SetClientAttach(number, own);
  BindClient(nullptr);
}

}  // namespace
}  // namespace hub
