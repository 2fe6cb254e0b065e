// Ctrl-C during a transfer presses the dialog's Cancel instead of ending the
// launcher: while a ScopedTransferInterrupts lives, SIGINT only counts.
#pragma once

#include <csignal>

namespace hub {

// SIGINTs counted since the process started.
int TransferInterrupts();

class ScopedTransferInterrupts {
 public:
  ScopedTransferInterrupts();
  ~ScopedTransferInterrupts();
  ScopedTransferInterrupts(const ScopedTransferInterrupts&) = delete;
  ScopedTransferInterrupts& operator=(const ScopedTransferInterrupts&) = delete;

 private:
  struct sigaction previous_ {};
  bool installed_ = false;
};

}  // namespace hub
