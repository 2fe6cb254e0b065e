// Positioned reads of an audio file, or of bytes in memory (fuzzing, tests).
// Reads past the end are short, never errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hub::metadata {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Up to `n` bytes at `offset`; the count read (0 at or past the end, or on error).
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t n) const = 0;

  // Exactly `n` bytes or false.
  bool ReadExact(uint64_t offset, void* buffer, size_t n) const { return ReadAt(offset, buffer, n) == n; }
};

// A file opened read-only for the object's life.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(const std::string& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  bool ok() const { return fd_ >= 0; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) const override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

inline uint32_t BigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline uint32_t BigEndian24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
inline uint16_t BigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint64_t BigEndian64(const uint8_t* p) { return uint64_t(BigEndian32(p)) << 32 | BigEndian32(p + 4); }
inline uint32_t LittleEndian32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
inline uint16_t LittleEndian16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }

}  // namespace hub::metadata
