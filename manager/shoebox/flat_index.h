// Open-addressing hash tables (linear probing, backward-shift deletion) for the
// database's indexes. They allocate nothing per entry, which keeps loading
// 50,000 tracks close to the speed of reading the file. Keys are mixed before
// probing, so clustered ids from a hostile file do not degrade to a scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hub {

inline size_t MixIndexKey(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return static_cast<size_t>(key);
}

// Slot must have: bool used; uint64_t Key() const.
template <class Slot>
class LinearProbeTable {
 public:
  size_t size() const { return size_; }
  void Clear() {
    slots_.clear();
    size_ = 0;
  }
  void Reserve(size_t n) {
    size_t want = 16;
    while (want < n * 2) want *= 2;
    if (want > slots_.size()) Rehash(want);
  }
  // Hints the cache to fetch the first slot a probe for `key` reads.
  void Prefetch(uint64_t key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[Home(key)]);
  }
  // Visits the slots whose key equals `key` until f answers true; answers that slot or null.
  template <class F>
  Slot* FindIf(uint64_t key, F&& f) {
    if (slots_.empty()) return nullptr;
    for (size_t i = Home(key);; i = (i + 1) & Mask()) {
      Slot& s = slots_[i];
      if (!s.used) return nullptr;
      if (s.Key() == key && f(s)) return &s;
    }
  }
  Slot& Add(const Slot& slot) {
    if ((size_ + 1) * 2 > slots_.size()) Rehash(slots_.empty() ? 16 : slots_.size() * 2);
    size_t i = Home(slot.Key());
    while (slots_[i].used) i = (i + 1) & Mask();
    slots_[i] = slot;
    slots_[i].used = true;
    ++size_;
    return slots_[i];
  }
  void Remove(Slot* slot) {
    size_t i = static_cast<size_t>(slot - slots_.data());
    slots_[i].used = false;
    --size_;
    // Pull later entries of the run back so no probe stops early at the hole.
    for (size_t j = (i + 1) & Mask(); slots_[j].used; j = (j + 1) & Mask()) {
      size_t home = Home(slots_[j].Key());
      if (((j - home) & Mask()) >= ((j - i) & Mask())) {
        slots_[i] = slots_[j];
        slots_[j].used = false;
        i = j;
      }
    }
  }

 private:
  size_t Mask() const { return slots_.size() - 1; }
  size_t Home(uint64_t key) const { return MixIndexKey(key) & Mask(); }
  void Rehash(size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    size_ = 0;
    for (const Slot& s : old)
      if (s.used) Add(s);
  }
  std::vector<Slot> slots_;
  size_t size_ = 0;
};

// Unique 32-bit ids to values.
template <class Value>
class FlatIdMap {
 public:
  Value* Find(uint32_t id) {
    Slot* s = table_.FindIf(id, [](Slot&) { return true; });
    return s ? &s->value : nullptr;
  }
  const Value* Find(uint32_t id) const { return const_cast<FlatIdMap*>(this)->Find(id); }
  bool Contains(uint32_t id) const { return Find(id) != nullptr; }
  // The id must not be present.
  void Add(uint32_t id, Value value) { table_.Add(Slot{id, true, std::move(value)}); }
  void Erase(uint32_t id) {
    if (Slot* s = table_.FindIf(id, [](Slot&) { return true; })) table_.Remove(s);
  }
  size_t size() const { return table_.size(); }
  void Clear() { table_.Clear(); }
  void Reserve(size_t n) { table_.Reserve(n); }
  void Prefetch(uint32_t id) const { table_.Prefetch(id); }

 private:
  struct Slot {
    uint32_t id = 0;
    bool used = false;
    Value value{};
    uint64_t Key() const { return id; }
  };
  LinearProbeTable<Slot> table_;
};

// 64-bit key hashes to 32-bit ids; a hash may map to several ids.
class FlatHashToIds {
 public:
  void Add(uint64_t hash, uint32_t id) { table_.Add(Slot{hash, id, true}); }
  void Erase(uint64_t hash, uint32_t id) {
    if (Slot* s = table_.FindIf(hash, [id](Slot& slot) { return slot.id == id; })) table_.Remove(s);
  }
  // Calls f(id) for each id under the hash until f answers true; answers whether one did.
  template <class F>
  bool Any(uint64_t hash, F&& f) const {
    // FindIf only reads; it is non-const because it also serves removal.
    auto& table = const_cast<LinearProbeTable<Slot>&>(table_);
    return table.FindIf(hash, [&](Slot& s) { return f(s.id); }) != nullptr;
  }
  size_t size() const { return table_.size(); }
  void Clear() { table_.Clear(); }
  void Reserve(size_t n) { table_.Reserve(n); }
  void Prefetch(uint64_t hash) const { table_.Prefetch(hash); }

 private:
  struct Slot {
    uint64_t hash = 0;
    uint32_t id = 0;
    bool used = false;
    uint64_t Key() const { return hash; }
  };
  LinearProbeTable<Slot> table_;
};

}  // namespace hub
