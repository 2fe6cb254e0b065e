// Builds the operation catalog from the proxies' own signatures.
#include "shell/client/kdp_operation_catalog.h"

#include <algorithm>
#include <type_traits>

#include "common/text.h"

namespace hub {
namespace {

template <class T>
constexpr KdpArg::Kind KindOf() {
  using Bare = std::remove_cvref_t<T>;
  constexpr bool kConst = std::is_const_v<std::remove_reference_t<T>>;
  if constexpr (std::is_same_v<Bare, KernelId>) return kConst ? KdpArg::Kind::IdIn : KdpArg::Kind::IdOut;
  else if constexpr (std::is_same_v<Bare, _AUDIODATA>) return kConst ? KdpArg::Kind::TrackIn : KdpArg::Kind::TrackOut;
  else if constexpr (std::is_same_v<Bare, KernelContact>)
    return kConst ? KdpArg::Kind::ContactIn : KdpArg::Kind::ContactOut;
  else if constexpr (std::is_same_v<Bare, KernelTextField>) return KdpArg::Kind::TextFieldOut;
  else if constexpr (std::is_same_v<Bare, std::string_view>) return KdpArg::Kind::Text;
  else {
    static_assert(std::is_integral_v<Bare>, "unexpected parameter type");
    return KdpArg::Kind::Int;
  }
}

template <class R, class C, class... A>
std::vector<KdpArg::Kind> KindsOf(R (C::*)(A...)) {
  return {KindOf<A>()...};
}

std::vector<KdpOperation> Build() {
  std::vector<KdpOperation> ops;
#define HUB_KDP_PROXY(ret, name, params, op, args) \
  ops.push_back({op, #name, KindsOf(&KernelDeviceClient::name), FindKdpRequest(op)});
#define HUB_KDP_PROXY_ZERO HUB_KDP_PROXY
#include "shell/client/kernel_device_client_proxies.inc"
#undef HUB_KDP_PROXY
#undef HUB_KDP_PROXY_ZERO
  std::sort(ops.begin(), ops.end(), [](const KdpOperation& a, const KdpOperation& b) { return a.opcode < b.opcode; });
  return ops;
}

const std::vector<KdpOperation>& Catalog() {
  static const std::vector<KdpOperation> ops = Build();
  return ops;
}

}  // namespace

std::span<const KdpOperation> KdpOperations() { return Catalog(); }

const KdpOperation* FindKdpOperation(uint32_t opcode) {
  for (const KdpOperation& op : Catalog())
    if (op.opcode == opcode) return &op;
  return nullptr;
}

const KdpOperation* FindKdpOperation(std::string_view name) {
  for (const KdpOperation& op : Catalog())
    if (EqualsNoCase(op.name, name)) return &op;
  return nullptr;
}

}  // namespace hub
