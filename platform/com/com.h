// COM basics for the shell library and its hosts: result codes, GUIDs in their
// registry text form, IUnknown and IClassFactory as abstract classes, and an
// atomic reference count. Objects pass between host and library by interface
// pointer only; nothing here may throw across that boundary.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hub::platform {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

struct GUID {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  bool operator==(const GUID&) const = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", hex digits in either case; nothing
// for any other text.
std::optional<GUID> GuidFromString(std::string_view text);
// The same form, upper-case hex, with braces.
std::string GuidToString(const GUID& guid);
// For constants: the text must be well formed (checked when evaluated at compile time).
constexpr GUID MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                        uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7) {
  return GUID{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};
}

inline constexpr IID IID_IUnknown = MakeGuid(0x00000000, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IClassFactory = MakeGuid(0x00000001, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IMalloc = MakeGuid(0x00000002, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;  // objects die through Release, never through delete
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// A reference count that several threads may change at once.
class RefCount {
 public:
  explicit RefCount(uint32_t initial = 1) : count_(initial) {}
  uint32_t Increment() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The new count; the thread that sees 0 owns the destruction.
  uint32_t Decrement() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  uint32_t Get() const { return count_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> count_;
};

// IUnknown for an object that offers one interface: QueryInterface answers
// it and IUnknown, and the last Release deletes the object. The count starts
// at 1 for the creator.
template <class Interface, const IID& kInterfaceId>
class ComObject : public Interface {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == kInterfaceId) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return refs_.Increment(); }
  uint32_t Release() override {
    uint32_t n = refs_.Decrement();
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  RefCount refs_;
};

// Releases an interface pointer when it goes out of scope.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : p_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  // The same for typed out parameters.
  T** Put() {
    Reset();
    return &p_;
  }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace hub::platform
