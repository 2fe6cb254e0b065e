// The client's operations by opcode: for each proxy, the kinds of its
// parameters (taken from its C++ signature, so inputs and outputs cannot be
// mislabelled) next to the request table's row. Tools and tests that name
// operations by name or number read it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/kdp_request_table.h"
#include "shell/client/kernel_device_client.h"

namespace hub {

struct KdpOperation {
  uint32_t opcode;
  std::string_view name;
  std::vector<KdpArg::Kind> params;  // in signature order, one per row field
  const KdpRequestRow* row;
};

// Every proxied operation of KernelDeviceClient, in opcode order.
std::span<const KdpOperation> KdpOperations();
// By opcode, or by name (case-insensitive); nullptr when unknown.
const KdpOperation* FindKdpOperation(uint32_t opcode);
const KdpOperation* FindKdpOperation(std::string_view name);

}  // namespace hub
