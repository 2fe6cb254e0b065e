// The served selectors, from the module-name table.
#include "common/kdp_selector.h"

#include <array>
#include <string_view>
#include <vector>

#include "common/kdp_block.h"
#include "common/product_profile.h"

namespace hub {
namespace {

enum class Load { NoDevice, Device, ClDriver };

struct Row {
  std::string_view name;
  Load load;
  uint32_t device;
};

constexpr Row kRows[] = {
#define HUB_MODULE_NAME(name, load, device, idA, idB, classByte) {#name, Load::load, device},
#include "common/module_names.def"
#undef HUB_MODULE_NAME
};

constexpr size_t kProducts = 10;

// Per product number, the device numbers its libraries attach with.
std::array<std::vector<uint32_t>, kProducts> BuildServed() {
  std::array<std::vector<uint32_t>, kProducts> served;
  for (const Row& row : kRows) {
    if (row.load == Load::NoDevice) continue;
    ProductProfile profile;
    SelectProduct(row.name, profile);
    if (profile.productNumber < 0 || static_cast<size_t>(profile.productNumber) >= kProducts) continue;
    auto& numbers = served[static_cast<size_t>(profile.productNumber)];
    numbers.push_back(row.device);
    // JB_UseCLDriver 0 attaches these as device 1.
    if (row.load == Load::ClDriver) numbers.push_back(1);
  }
  return served;
}

}  // namespace

bool ManagerServesSelector(int32_t productNumber, uint32_t selector) {
  if (selector == kKdpSelectorRequest) return true;
  static const std::array<std::vector<uint32_t>, kProducts> served = BuildServed();
  if (productNumber < 0 || static_cast<size_t>(productNumber) >= kProducts) return false;
  for (uint32_t n : served[static_cast<size_t>(productNumber)])
    if (n == selector) return true;
  return false;
}

}  // namespace hub
