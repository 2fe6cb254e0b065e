// The device-family driver the manager creates at start-up.
#pragma once

#include <memory>

#include "common/kernel_driver.h"

namespace hub {

std::unique_ptr<KernelDriver> CreateFamilyDriver();

}  // namespace hub
