#include "support/kdp_peer.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <new>

#include "common/kdp_block.h"
#include "common/kdp_sequence.h"
#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"

namespace hub::bench {

std::string UsePrivateObjects(const std::string& tag) {
  std::string dir = std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);  // a runtime folder is private
  ::setenv("HUB_RUNTIME_DIR", dir.c_str(), 1);
  ::setenv("HUB_OBJECT_NAMESPACE", (tag + std::to_string(::getpid())).c_str(), 1);
  ::setenv("HUB_CONFIG_DIR", dir.c_str(), 1);
  ::setenv("HUB_REGISTRY", (dir + "/registry.db").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  SelectProduct("irivmgr", TheProductProfile());
  return dir;
}

int ServeRequests(KernelDevice& device, int readyFd, uint32_t limitMs) {
  const ProductProfile& profile = TheProductProfile();
  auto mapping = platform::SharedMapping::Create(profile.mappingName, kKdpBlockSize);
  auto* block = new (mapping->data()) KdpBlock();
  auto pre = platform::NamedSemaphore::Create(profile.preSemaphoreName, 0, 1);
  auto completion = platform::NamedSemaphore::Create(profile.completionSemaphoreName, 0, 1);
  auto extension = platform::NamedSemaphore::Create(profile.extensionSemaphoreName, 0, 1);
  platform::RegisterWindowClass(profile.windowClassName,
                                [&](platform::WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
                                  if (m != kKdpRequestMessage) return platform::DefaultWindowProc(h, m, w, l);
                                  if (!KdpRequestMatches(*block, w)) return 0;
                                  pre->Release();
                                  if (block->selector == 10) device.DispatchRequest(*block);
                                  MarkKdpAnswered(*block, static_cast<uint32_t>(w));
                                  mapping->Flush();
                                  (block->extensionTime ? extension : completion)->Release();
                                  return 0;
                                });
  platform::CreateHiddenWindow(profile.windowClassName, "");
  char ready = 'r';
  if (::write(readyFd, &ready, 1) != 1) return 1;
  ::close(readyFd);
  const uint64_t end = platform::TickCount64() + limitMs;
  platform::Message msg;
  while (platform::TickCount64() < end) {
    auto wait = platform::WaitWindowMessage(msg, 1000);
    if (wait == platform::MessageWait::Quit) break;
    if (wait == platform::MessageWait::Message) platform::DispatchWindowMessage(msg);
    if (::getppid() == 1) break;  // the measuring process is gone
  }
  return 0;
}

ServingProcess::ServingProcess(const std::function<int(int readyFd)>& serve) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(fds[0]);
    ::_exit(serve(fds[1]));
  }
  ::close(fds[1]);
  char ready;
  started_ = pid_ > 0 && ::read(fds[0], &ready, 1) == 1;
  ::close(fds[0]);
}

void ServingProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace hub::bench
