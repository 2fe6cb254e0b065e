// The one checked access to item-id lists and item records. Lists come back
// from the host, so nothing is trusted: a walk stays inside the allocator
// block that holds the list, and a record is read only after its count,
// magic, kind and texts have been checked. Every failure throws
// CPidlException, which each caller that faces the host catches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "common/records.h"
#include "platform/shell/item_id_list.h"
#include "shell/namespace/pidl_data.h"

namespace hub {

using platform::LPCITEMIDLIST;
using platform::LPITEMIDLIST;

class CPidlException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct IdListShape {
  size_t itemCount = 0;
  size_t bytes = 0;                  // with the terminator; 0 for a null list
  const uint8_t* last = nullptr;     // the last item; null for a null or empty list
};

// Walks a list that has `available` readable bytes. A count of 1, or an item
// or terminator past the end, throws.
IdListShape MeasureIdList(const uint8_t* list, size_t available);
// The same for a list inside a block of the shell allocator (the host's and
// ours); a pointer outside every block throws.
IdListShape MeasureIdList(LPCITEMIDLIST list);

// A checked item record. Construction checks the record; the readers then
// take fields by offset through little-endian reads, so an item may sit at
// any alignment inside its list.
class PidlItem {
 public:
  // `available`: readable bytes from `item` on.
  PidlItem(const uint8_t* item, size_t available);
  // An item inside a block of the shell allocator.
  explicit PidlItem(LPCITEMIDLIST item);
  // The last item of a list; a null or empty list throws.
  static PidlItem LastOf(LPCITEMIDLIST list);

  uint32_t Kind() const;
  uint32_t SubKind() const { return Key(0); }  // the first key word of the id
  uint32_t Key(int word) const;
  KernelId Id() const;
  uint32_t Position() const;
  uint32_t Class() const;
  std::string_view Name() const;
  std::string_view Text() const;
  _AUDIODATA Track() const;
  // Fields of the track record read in place, by their offset in _AUDIODATA
  // (a list asks for thousands of cells; a copy of the whole record for each
  // one was most of their cost).
  uint32_t TrackU32(size_t offset) const { return U32(pidl_offset::kTrack + offset); }
  uint16_t TrackU16(size_t offset) const;
  uint8_t TrackByte(size_t offset) const { return p_[pidl_offset::kTrack + offset]; }
  // A text field of the record (artist, title, ...), up to its bound; the path.
  std::string_view TrackText(size_t offset) const;
  std::string_view TrackPath() const;
  uint32_t UsedKB() const;
  uint32_t FreeKB() const;
  uint32_t Size() const;
  uint32_t Count() const;
  const uint8_t* bytes() const { return p_; }

 private:
  uint32_t U32(size_t offset) const;
  const uint8_t* p_;
};

}  // namespace hub
