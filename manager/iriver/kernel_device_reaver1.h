// The iRiver iHP and H-series family (H100, H300): a mass-storage player told
// by its volume label, with its own folder rule for new tracks, M3U playlists
// and the navigation file "iRivNavi.iDB" its firmware browses.
#pragma once

#include <string>

#include "manager/msc/kernel_device_msc_base.h"

namespace hub {

inline constexpr char kReaverPlaylistHintFile[] = "For playlists, press A-B button twice.mp3";

class KernelDriverReaver1 : public KernelDriverMSCBase {
 public:
  KernelDevice* CreateDevice(const KernelId& a, const KernelId& b) override;
};

class KernelDeviceReaver1 : public KernelDeviceMSCBase {
 public:
  KernelDeviceReaver1(KernelDriver* driver, const KernelId& idA, const KernelId& idB);

  std::string GetModelName() override;
  int DetectModel(const std::string& root) override;
  // Writes the file whole and renames it into place, then the playlist hint
  // file. Any file error ends it quietly; the database itself is saved already.
  void WriteNavigationDatabase(ShoeboxProgressMonitor* progress) override;
  int DeviceClassOp238() override { return 0; }
  void BuildTargetPath(const SBTrackV100* track, std::string& folder, std::string& name,
                       std::string& extension) override;

 private:
  size_t leftOutShown_ = 0;  // tracks past the navigation file's room, last told
};

}  // namespace hub
