// CEnumIDList: a folder's listing, built complete in the constructor under
// the listing lock and only walked afterwards; the host makes a new one for
// every refresh, and each connects the device once.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_builder.h"

namespace hub {

class CShellFolder;

class CEnumIDList final : public platform::IEnumIDList {
 public:
  // `relative`: the folder's relative list (null: the root); `flags`: SHCONTF_*.
  CEnumIDList(CShellFolder* folder, LPCITEMIDLIST relative, uint32_t flags);

  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  platform::HRESULT Next(uint32_t count, LPITEMIDLIST* out, uint32_t* fetched) override;
  platform::HRESULT Skip(uint32_t count) override;
  platform::HRESULT Reset() override;
  platform::HRESULT Clone(platform::IEnumIDList** out) override;

  // The records Next has not handed out yet, handed over without a copy to
  // a caller in this library that walks the whole listing once (the view's
  // fill: ten thousand rows are ten thousand blocks of 3 KB). The caller
  // frees them with the shell allocator; the enumerator is then at its end,
  // for Next and after Reset alike.
  std::vector<LPITEMIDLIST> TakeRemaining();

  size_t size() const { return records_.size(); }
  LPCITEMIDLIST operator[](size_t i) const { return records_[i]; }

 private:
  ~CEnumIDList() = default;

  LiveObject live_;
  ShellMalloc malloc_;
  PidlRecordList records_;
  size_t current_ = 0;
  platform::RefCount refs_{1};
  CShellFolder* folder_;  // not counted: the folder outlives the host's walk
  uint32_t flags_;
  bool connectTried_ = false;
};

}  // namespace hub
