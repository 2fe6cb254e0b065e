// Checked walks and record reads.
#include "shell/namespace/pidl_access.h"

#include <cstring>
#include <string>

#include "platform/com/shell_allocator.h"

namespace hub {
namespace {

using platform::ReadLittleEndian16;
using platform::ReadLittleEndian32;

// A bounded text field holds a NUL in its text or its two terminator bytes.
bool FieldTerminated(const uint8_t* field) {
  return std::memchr(field, 0, sizeof(KernelTextField::text) + sizeof(KernelTextField::terminator)) != nullptr;
}

size_t AvailableOrThrow(const void* p) {
  size_t n = platform::ShellBytesAvailable(p);
  if (n == 0) throw CPidlException("item-id list outside the shell allocator");
  return n;
}

}  // namespace

IdListShape MeasureIdList(const uint8_t* list, size_t available) {
  IdListShape shape;
  if (!list) return shape;
  size_t at = 0;
  for (;;) {
    if (available - at < 2) throw CPidlException("item-id list passes its block");
    uint16_t cb = ReadLittleEndian16(list + at);
    if (cb == 0) break;
    if (cb == 1) throw CPidlException("item-id list holds an item of one byte");
    if (cb > available - at) throw CPidlException("item-id list passes its block");
    shape.last = list + at;
    ++shape.itemCount;
    at += cb;
  }
  shape.bytes = at + 2;
  return shape;
}

IdListShape MeasureIdList(LPCITEMIDLIST list) {
  if (!list) return {};
  return MeasureIdList(platform::IdListBytes(list), AvailableOrThrow(list));
}

PidlItem::PidlItem(const uint8_t* item, size_t available) : p_(item) {
  if (!item) throw CPidlException("missing item");
  if (available < kPidlRecordSize || ReadLittleEndian16(item) != kPidlRecordSize)
    throw CPidlException("not an item of this namespace");
  if (std::memcmp(item + pidl_offset::kMagic, kPidlMagic, 4) != 0 || item[pidl_offset::kMagicEnd] != 0)
    throw CPidlException("not an item of this namespace");
  if (!IsPidlKind(ReadLittleEndian32(item + pidl_offset::kKind))) throw CPidlException("unknown item kind");
  if (!FieldTerminated(item + pidl_offset::kName) || !FieldTerminated(item + pidl_offset::kText))
    throw CPidlException("unterminated item text");
}

PidlItem::PidlItem(LPCITEMIDLIST item) : PidlItem(platform::IdListBytes(item), item ? AvailableOrThrow(item) : 0) {}

PidlItem PidlItem::LastOf(LPCITEMIDLIST list) {
  if (!list) throw CPidlException("missing item-id list");
  const uint8_t* bytes = platform::IdListBytes(list);
  size_t available = AvailableOrThrow(list);
  IdListShape shape = MeasureIdList(bytes, available);
  if (!shape.last) throw CPidlException("empty item-id list");
  return PidlItem(shape.last, available - static_cast<size_t>(shape.last - bytes));
}

uint32_t PidlItem::U32(size_t offset) const { return ReadLittleEndian32(p_ + offset); }
uint32_t PidlItem::Kind() const { return U32(pidl_offset::kKind); }
uint32_t PidlItem::Key(int word) const { return U32(pidl_offset::kId + 4 * static_cast<size_t>(word & 3)); }
uint32_t PidlItem::Position() const { return U32(pidl_offset::kPosition); }
uint32_t PidlItem::Class() const { return U32(pidl_offset::kClass); }
uint32_t PidlItem::UsedKB() const { return U32(pidl_offset::kUsedKB); }
uint32_t PidlItem::FreeKB() const { return U32(pidl_offset::kFreeKB); }
uint32_t PidlItem::Size() const { return U32(pidl_offset::kSize); }
uint32_t PidlItem::Count() const { return U32(pidl_offset::kCount); }

KernelId PidlItem::Id() const {
  KernelId id;
  for (int w = 0; w < 4; ++w) id.key[w] = Key(w);
  std::memcpy(id.name, p_ + pidl_offset::kId + offsetof(KernelId, name), kKernelIdNameSize);
  id.Terminate();
  return id;
}

std::string_view PidlItem::Name() const {
  return ReadBoundedText(reinterpret_cast<const char*>(p_ + pidl_offset::kName), sizeof(KernelTextField::text));
}

std::string_view PidlItem::Text() const {
  return ReadBoundedText(reinterpret_cast<const char*>(p_ + pidl_offset::kText), sizeof(KernelTextField::text));
}

uint16_t PidlItem::TrackU16(size_t offset) const { return ReadLittleEndian16(p_ + pidl_offset::kTrack + offset); }

std::string_view PidlItem::TrackText(size_t offset) const {
  return ReadBoundedText(reinterpret_cast<const char*>(p_ + pidl_offset::kTrack + offset), sizeof(KernelTextField::text));
}

std::string_view PidlItem::TrackPath() const {
  return ReadBoundedText(reinterpret_cast<const char*>(p_ + pidl_offset::kTrack), sizeof(KernelPathField::text));
}

_AUDIODATA PidlItem::Track() const {
  _AUDIODATA record;
  std::memcpy(static_cast<void*>(&record), p_ + pidl_offset::kTrack, sizeof record);
  record.Terminate();
  return record;
}

}  // namespace hub
