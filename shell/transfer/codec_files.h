// Files of the codec routines: outputs written under a temporary name and
// renamed over their destination only when complete (a failed job leaves
// nothing), and the data chunk of a WAV source read within its stated size.
#pragma once

#include <cstdint>
#include <string>

#include "shell/transfer/metadata/track_info.h"

namespace hub {

class OutputFile {
 public:
  explicit OutputFile(std::string destination);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file (destination + ".part") for writing.
  bool Open();
  const std::string& temporaryPath() const { return temporary_; }
  bool Write(const void* data, size_t n);
  bool WriteAt(uint64_t offset, const void* data, size_t n);
  uint64_t size() const { return size_; }
  // Closes the file (when open) and renames it over the destination.
  bool Commit();

 private:
  std::string destination_, temporary_;
  int fd_ = -1;
  uint64_t size_ = 0;
  bool committed_ = false;
};

// A WAV output: a 44-byte gap, the PCM, then the header with the data size.
class WavOutput {
 public:
  explicit WavOutput(const std::string& destination) : file_(destination) {}
  bool Open();
  bool Append(const uint8_t* pcm, size_t n) { return file_.Write(pcm, n); }
  // False when the data does not fit a WAV file or cannot be written.
  bool Commit(const WaveFormat& format);

 private:
  OutputFile file_;
};

// The data chunk of a WAV file. A size of 0 or 0xFFFFFFFF means "to the end
// of the file"; a chunk that claims more than the file holds is truncated.
class WavSource {
 public:
  WavSource() = default;
  ~WavSource();
  WavSource(const WavSource&) = delete;
  WavSource& operator=(const WavSource&) = delete;

  enum class OpenResult { Ok, NoFile, NoFormat, Truncated };
  OpenResult Open(const std::string& path);
  const WaveLayout& layout() const { return layout_; }
  // Up to `n` bytes of the chunk (whole blocks); 0 at its end, -1 on a read error.
  int64_t Read(void* buffer, size_t n);
  uint64_t position() const { return read_; }
  uint64_t length() const { return length_; }

 private:
  int fd_ = -1;
  WaveLayout layout_;
  uint64_t length_ = 0, read_ = 0;
};

// Copies a whole file to `destination` through a temporary name.
bool CopyWholeFile(const std::string& source, const std::string& destination);

}  // namespace hub
