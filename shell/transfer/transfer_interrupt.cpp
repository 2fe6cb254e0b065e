// The SIGINT counter of a running transfer.
#include "shell/transfer/transfer_interrupt.h"

#include <atomic>

namespace hub {
namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_depth{0};  // nested scopes keep the outermost handler's predecessor

void CountInterrupt(int) { g_interrupts.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

int TransferInterrupts() { return g_interrupts.load(std::memory_order_relaxed); }

ScopedTransferInterrupts::ScopedTransferInterrupts() {
  if (g_depth.fetch_add(1) != 0) return;
  struct sigaction action {};
  action.sa_handler = CountInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = ::sigaction(SIGINT, &action, &previous_) == 0;
}

ScopedTransferInterrupts::~ScopedTransferInterrupts() {
  if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
  g_depth.fetch_sub(1);
}

}  // namespace hub
