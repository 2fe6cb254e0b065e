// Data objects over bytes in memory or read on demand, and the enumerator of
// a fixed format list that they and other data objects hand out.
#include "platform/shell/stored_data_object.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace hub::platform {
namespace {

class FormatEnumerator final : public ComObject<IEnumFORMATETC, IID_IEnumFORMATETC> {
 public:
  FormatEnumerator(std::vector<FORMATETC> formats, uint32_t position)
      : formats_(std::move(formats)), position_(position) {}

  HRESULT Next(uint32_t count, FORMATETC* out, uint32_t* fetched) override {
    if (!out) return E_INVALIDARG;
    uint32_t copied = 0;
    while (copied < count && position_ < formats_.size()) out[copied++] = formats_[position_++];
    if (fetched) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(uint32_t count) override {
    uint64_t left = formats_.size() - position_;
    if (count > left) {
      position_ = static_cast<uint32_t>(formats_.size());
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFORMATETC** out) override {
    if (!out) return E_INVALIDARG;
    *out = new (std::nothrow) FormatEnumerator(formats_, position_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~FormatEnumerator() = default;
  std::vector<FORMATETC> formats_;
  uint32_t position_;
};

class DeferredDataObject final : public ComObject<IDataObject, IID_IDataObject> {
 public:
  DeferredDataObject(std::vector<uint16_t> formats,
                     std::function<std::optional<std::vector<uint8_t>>(uint16_t)> read)
      : formats_(std::move(formats)), read_(std::move(read)) {}

  HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) override {
    if (!format || !medium) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    if (HRESULT hr = QueryGetData(format); hr != S_OK) return hr == S_FALSE ? DV_E_FORMATETC : hr;
    std::optional<std::vector<uint8_t>> bytes;
    try {
      bytes = read_(format->cfFormat);
    } catch (const std::exception&) {
      return E_OUTOFMEMORY;
    }
    if (!bytes) return DV_E_FORMATETC;
    HGLOBAL block = GlobalAllocZeroed(bytes->size());
    if (!block) return E_OUTOFMEMORY;
    if (!bytes->empty()) {
      GlobalLockScope lock(block);
      std::memcpy(lock.bytes(), bytes->data(), bytes->size());
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM*) override { return format ? E_NOTIMPL : E_INVALIDARG; }
  HRESULT QueryGetData(const FORMATETC* format) override {
    if (!format) return S_FALSE;
    if (!(format->dwAspect & DVASPECT_CONTENT)) return DV_E_DVASPECT;
    if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    for (uint16_t f : formats_)
      if (f == format->cfFormat) return S_OK;
    return DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(const FORMATETC*, FORMATETC* out) override {
    if (!out) return E_INVALIDARG;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT SetData(const FORMATETC*, STGMEDIUM*, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(uint32_t direction, IEnumFORMATETC** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return OLE_S_USEREG;
    std::vector<FORMATETC> list;
    for (uint16_t f : formats_) list.push_back(FORMATETC{f, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
    *out = CreateFormatEnumerator(std::move(list));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT DAdvise(const FORMATETC*, uint32_t, IUnknown*, uint32_t*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT DUnadvise(uint32_t) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise(IUnknown**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  ~DeferredDataObject() = default;
  std::vector<uint16_t> formats_;
  std::function<std::optional<std::vector<uint8_t>>(uint16_t)> read_;
};

}  // namespace

IEnumFORMATETC* CreateFormatEnumerator(std::vector<FORMATETC> formats, uint32_t position) {
  return new (std::nothrow) FormatEnumerator(std::move(formats), position);
}

IDataObject* CreateDeferredDataObject(std::vector<uint16_t> formats,
                                      std::function<std::optional<std::vector<uint8_t>>(uint16_t format)> read) {
  return new (std::nothrow) DeferredDataObject(std::move(formats), std::move(read));
}

IDataObject* CreateStoredDataObject(std::vector<StoredFormat> formats) {
  std::vector<uint16_t> numbers;
  for (const auto& f : formats) numbers.push_back(f.format);
  auto held = std::make_shared<std::vector<StoredFormat>>(std::move(formats));
  return CreateDeferredDataObject(std::move(numbers), [held](uint16_t format) -> std::optional<std::vector<uint8_t>> {
    for (const auto& f : *held)
      if (f.format == format) return f.bytes;
    return std::nullopt;
  });
}

std::vector<FORMATETC> OfferedFormats(IDataObject* data) {
  std::vector<FORMATETC> out;
  if (!data) return out;
  ComPtr<IEnumFORMATETC> e;
  if (data->EnumFormatEtc(DATADIR_GET, e.Put()) != S_OK || !e) return out;
  FORMATETC f;
  uint32_t got = 0;
  // Bounded: an enumerator of another object may never end.
  for (int i = 0; i < 256 && e->Next(1, &f, &got) == S_OK && got == 1; ++i) out.push_back(f);
  return out;
}

bool OffersFormat(IDataObject* data, uint16_t format) {
  if (!data || format == 0) return false;
  FORMATETC f{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return data->QueryGetData(&f) == S_OK;
}

std::optional<std::vector<uint8_t>> TakeFormatBytes(IDataObject* data, uint16_t format) {
  if (!data) return std::nullopt;
  FORMATETC f{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m;
  if (data->GetData(&f, &m) != S_OK) return std::nullopt;
  std::optional<std::vector<uint8_t>> out;
  if (m.tymed == TYMED_HGLOBAL) {
    GlobalLockScope lock(m.hGlobal);
    if (lock.bytes()) out.emplace(lock.bytes(), lock.bytes() + lock.size());
  }
  ReleaseStgMedium(&m);
  return out;
}

}  // namespace hub::platform
