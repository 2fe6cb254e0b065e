// The speed comparison and the posted results.
#include "shell/transfer/speed_report.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "common/kernel_device.h"
#include "common/settings.h"
#include "common/text.h"
#include "common/version.h"
#include "platform/fs/whole_file.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"

namespace hub {

namespace {

constexpr size_t kMaxCpuInfoBytes = 1 << 20;

// The value of the first line "key<blanks>: value" of the text.
std::string CpuInfoValue(std::string_view text, std::string_view key) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && TrimWhitespace(line.substr(0, colon)) == key)
      return TrimWhitespace(line.substr(colon + 1));
    start = end + 1;
  }
  return {};
}

std::string PercentEncode(std::string_view value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (c == ' ') out += '+';
    else if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') out += static_cast<char>(c);
    else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 0xF];
    }
  }
  return out;
}

}  // namespace

std::string CpuMakeFromCpuInfo(std::string_view cpuinfo) {
  std::string vendor = CpuInfoValue(cpuinfo, "vendor_id");
  if (vendor == "AuthenticAMD") return "AMD";
  if (vendor == "GenuineIntel") return "INTEL";
  return "X86";
}

int CpuMhzFromCpuInfo(std::string_view cpuinfo) {
  return static_cast<int>(std::atof(CpuInfoValue(cpuinfo, "cpu MHz").c_str()));
}

int RoundedCpuSpeed(int mhz) { return (mhz + 4) / 5 * 5; }

std::string SpeedReportDeviceType(uint32_t deviceNumber, uint32_t firstKey) {
  struct Row {
    uint32_t device, key;
    const char* type;
  };
  static constexpr Row kRows[] = {{0, 1, "JB"}, {0, 2, "J2"}, {0, 3, "J3"}, {0, 4, "JZ"},
                                  {1, 0, "II"}, {1, 1, "JB"}, {5, 0, "MV"}};
  for (const Row& r : kRows)
    if (r.device == deviceNumber && r.key == firstKey) return r.type;
  return {};
}

std::string BuildSpeedReportQuery(const SpeedReport& r) {
  const std::pair<const char*, std::string> fields[] = {
      {"cpu_make", r.cpuMake},
      {"cpu_speed", std::to_string(RoundedCpuSpeed(r.cpuMhz))},
      {"os", r.os},
      {"ksxp_ver", r.version},
      {"dev_type", r.deviceType},
      {"dev_hwver", r.hardwareVersion},
      {"dev_fwver", r.firmwareVersion},
      {"ksxp_mbps", std::to_string(r.speed)},
      {"ksxp_sampsize", std::to_string(r.files)},
  };
  std::string query;
  for (const auto& [key, value] : fields) query += (query.empty() ? "" : "&") + std::string(key) + "=" + PercentEncode(value);
  return query;
}

SpeedReport DescribeThisTransfer(int64_t speed, int files) {
  platform::WholeFileRead read = platform::ReadWholeFile("/proc/cpuinfo", kMaxCpuInfoBytes);
  std::string cpuinfo(read.bytes.begin(), read.bytes.end());
  KernelDevice& d = TheClient();
  SpeedReport r;
  r.cpuMake = CpuMakeFromCpuInfo(cpuinfo);
  r.cpuMhz = CpuMhzFromCpuInfo(cpuinfo);
  r.os = "Linux";
  r.version = GetModuleVersionString();
  r.deviceType = SpeedReportDeviceType(ClientDeviceNumber(), ClientOwnId().key[0]);
  r.hardwareVersion = d.GetHardwareVersion();
  r.firmwareVersion = d.GetFirmwareVersion();
  r.speed = speed;
  r.files = files;
  return r;
}

void OpenSpeedComparison() {
  std::string url = SettingString(kCompareUrlSetting, "");
  if (!url.empty()) ShellOpenFile(url);
}

void PostSpeedResults(int64_t speed, int files) {
  std::string url = SettingString(kPostUrlSetting, "");
  if (url.empty()) return;
  ShellOpenFile(url + BuildSpeedReportQuery(DescribeThisTransfer(speed, files)));
}

}  // namespace hub
