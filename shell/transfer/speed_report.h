// The transfer dialog's "Performance" buttons: the community page that
// compares transfer speeds, and the posting address with the measured speed
// and a description of this computer and the player in its query string.
// Both only open an address; nothing is sent by the system itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

inline constexpr std::string_view kCompareUrlSetting = "URL_Yardell";
inline constexpr std::string_view kPostUrlSetting = "URL_YardellPost";

// What the query describes.
struct SpeedReport {
  std::string cpuMake;   // "AMD", "INTEL" or "X86"
  int cpuMhz = 0;        // as the processor reports it
  std::string os;
  std::string version;   // the shell library's version text
  std::string deviceType;
  std::string hardwareVersion;
  std::string firmwareVersion;
  int64_t speed = 0;     // hundredths of a Mbit/s
  int files = 0;
};

// "vendor_id" and "cpu MHz" of the first processor in /proc/cpuinfo text.
std::string CpuMakeFromCpuInfo(std::string_view cpuinfo);
int CpuMhzFromCpuInfo(std::string_view cpuinfo);
// Rounded up to a multiple of 5.
int RoundedCpuSpeed(int mhz);
// The two-letter code of the attached player, empty for all but the table's.
std::string SpeedReportDeviceType(uint32_t deviceNumber, uint32_t firstKey);
// "cpu_make=...&...&ksxp_sampsize=...": every value percent-encoded, blanks as "+".
std::string BuildSpeedReportQuery(const SpeedReport& report);

// Button 1128: opens URL_Yardell (nothing when it is empty).
void OpenSpeedComparison();
// Button 1131: describes this computer and the attached player and opens
// URL_YardellPost + the query (nothing when it is empty). Device failures throw.
void PostSpeedResults(int64_t speed, int files);
// The report of this computer and the attached player (asks the player).
SpeedReport DescribeThisTransfer(int64_t speed, int files);

}  // namespace hub
