// The manager's web port.
#include "common/web_port.h"

#include "common/settings.h"

namespace hub {

uint32_t UsableWebPort(uint32_t stored) { return stored == 0 || stored > 65535 ? kDefaultWebPort : stored; }

uint32_t ManagerWebPort() { return UsableWebPort(SettingDword("KW_PortT", 0)); }

}  // namespace hub
