// Decode and encode jobs, their threads and the shared WAV helpers.
#include "shell/transfer/codec_jobs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "common/records.h"
#include "shell/transfer/codec_files.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace {

// The library's job threads. Each is joined once its end was reported, and
// every one that is left is joined when the library unloads, so no thread
// outlives the code it runs.
class CodecThreads {
 public:
  ~CodecThreads() {
    std::list<Entry> all;
    {
      std::lock_guard lock(mutex_);
      all.swap(entries_);
    }
    for (Entry& e : all) e.thread.join();
  }

  template <typename Body>
  void Start(Body body) {
    auto reported = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), reported]() mutable { body(*reported); });
    std::lock_guard lock(mutex_);
    entries_.push_back({std::move(thread), std::move(reported)});
  }

  void JoinReported() {
    std::list<Entry> done;
    {
      std::lock_guard lock(mutex_);
      for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        if (it->reported->load()) done.splice(done.end(), entries_, it);
        it = next;
      }
    }
    for (Entry& e : done) e.thread.join();
  }

  size_t Count() {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> reported;
  };
  std::mutex mutex_;
  std::list<Entry> entries_;
};

CodecThreads& Threads() {
  static CodecThreads threads;
  return threads;
}

struct DecodeJob {
  std::string source, destination;
  CodecCallback callback;
  void* context;
  int step;
};

struct EncodeJob {
  std::string source, destination;
  int target;
  bool vbr;
  int rate;
  CodecCallback callback;
  void* context;
  int step;
};

int RunDecode(const DecodeJob& job, CodecProgress& progress) {
  switch (GetTrackFileType(job.source)) {
    case kFileTypeWav: return CopyWholeFile(job.source, job.destination) ? 0 : kCodecCopyFailed;
    case kFileTypeMp3:
    case kFileTypeWma: return DecodeWindowsMedia(job.source, job.destination, progress);
    case kFileTypeOgg: return DecodeOgg(job.source, job.destination, progress);
    case kFileTypeFlac: return DecodeFlac(job.source, job.destination, progress);
    default: return kCodecUnknownFormat;
  }
}

int RunEncode(const EncodeJob& job, CodecProgress& progress) {
  std::string source = job.source;
  WaveLayout layout;
  {
    metadata::FileByteSource file(source);
    if (!file.ok() || !ReadWavFormat(file, layout) || !layout.hasData) return kCodecBadWav;
  }
  if (!IsStandardPcmFormat(layout.format)) {
    // Other rates, widths and channel counts become the standard format first;
    // this part reports no progress of its own.
    const std::string converted = job.destination + ".tmp";
    CodecProgress silent(nullptr, nullptr, 1);
    const int result = AcmConvertFile(source, converted, layout, StandardPcmFormat(), silent);
    if (result < 0) return result;
    source = converted;
  }
  switch (job.target) {
    case kFileTypeWav: return CopyWholeFile(source, job.destination) ? 0 : kCodecCopyFailed;
    case kFileTypeMp3: {
      const int result = EncodeMp3(source, job.destination, job.vbr, job.rate, progress);
      return result == 0 ? 0 : EncodeMp3Acm(source, job.destination, job.vbr, job.rate, progress);
    }
    case kFileTypeWma: return EncodeWma(source, job.destination, job.vbr, job.rate, progress);
    default: return kCodecUnknownFormat;
  }
}

void DecodeThread(DecodeJob job, std::atomic<bool>& reported) {
  LoadAcmDrivers();
  CodecProgress progress(job.callback, job.context, job.step);
  progress.Start();
  ::unlink(job.destination.c_str());  // nothing of an earlier file may pass for this one
  const int result = RunDecode(job, progress);
  reported = true;
  progress.Finish(result);
}

void EncodeThread(EncodeJob job, std::atomic<bool>& reported) {
  LoadAcmDrivers();
  CodecProgress progress(job.callback, job.context, job.step);
  progress.Start();
  const int result = RunEncode(job, progress);
  ::unlink((job.destination + ".tmp").c_str());
  reported = true;
  progress.Finish(result);
}

}  // namespace

void CodecProgress::Fraction(uint64_t done, uint64_t total) {
  const int percent = int(std::min<uint64_t>(done, total) * 100 / std::max<uint64_t>(total, 1));
  if (percent > last_ && percent % step_ == 0) {
    last_ = percent;
    Send(kCodecPercent, percent, 100);
  }
}

int StartDecode(const std::string& source, const std::string& destination, CodecCallback callback, void* context,
                int step) {
  DecodeJob job{source, destination, callback, context, step};
  Threads().Start([job = std::move(job)](std::atomic<bool>& reported) mutable { DecodeThread(std::move(job), reported); });
  return 0;
}

int StartEncode(const std::string& source, const std::string& destination, int target, bool vbr, int rate,
                CodecCallback callback, void* context, int step) {
  EncodeJob job{source, destination, target, vbr, rate, callback, context, step};
  Threads().Start([job = std::move(job)](std::atomic<bool>& reported) mutable { EncodeThread(std::move(job), reported); });
  return 0;
}

void JoinCodecThreads() { Threads().JoinReported(); }
size_t CodecThreadCount() { return Threads().Count(); }

void WriteWavHeader(uint8_t header[44], const WaveFormat& format, uint32_t dataSize) {
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  auto put16 = [&](int at, uint16_t v) {
    header[at] = uint8_t(v);
    header[at + 1] = uint8_t(v >> 8);
  };
  std::copy_n("RIFF", 4, header);
  put32(4, dataSize + 36);
  std::copy_n("WAVEfmt ", 8, header + 8);
  put32(16, 16);
  put16(20, format.formatTag);
  put16(22, format.channels);
  put32(24, format.samplesPerSec);
  put32(28, format.avgBytesPerSec);
  put16(32, format.blockAlign);
  put16(34, format.bitsPerSample);
  std::copy_n("data", 4, header + 36);
  put32(40, dataSize);
}

WaveFormat StandardPcmFormat() {
  WaveFormat f;
  f.formatTag = 1;
  f.channels = 2;
  f.samplesPerSec = 44100;
  f.avgBytesPerSec = 176400;
  f.blockAlign = 4;
  f.bitsPerSample = 16;
  f.extraSize = 0;
  return f;
}

bool IsStandardPcmFormat(const WaveFormat& f) {
  const WaveFormat s = StandardPcmFormat();
  return f.formatTag == s.formatTag && f.channels == s.channels && f.samplesPerSec == s.samplesPerSec &&
         f.avgBytesPerSec == s.avgBytesPerSec && f.blockAlign == s.blockAlign && f.bitsPerSample == s.bitsPerSample &&
         f.extraSize == s.extraSize;
}

int AcmMp3Kbps(bool vbr, int rate) {
  static const int kVbrKbps[14] = {320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32};
  return vbr ? kVbrKbps[std::clamp(rate, 0, 13)] : rate;
}

int WmaFormatIndex(bool vbr, int rate) {
  if (vbr) {
    switch (rate) {
      case 98: return 0;
      case 90: return 1;
      case 75: return 2;
      case 25: return 4;
      case 10: return 5;
      default: return 3;
    }
  }
  static const int kKbps[] = {320, 256, 192, 160, 128, 96, 80, 64, 48, 32};
  for (int i = 0; i < 10; ++i)
    if (kKbps[i] == rate) return 24 + i;
  return 28;
}

int WmaIndexKbps(int index) {
  // The encoder has no VBR mode: the quality indexes get constant bitrates.
  static const int kVbr[6] = {192, 160, 128, 128, 96, 64};
  static const int kCbr[10] = {320, 256, 192, 160, 128, 96, 80, 64, 48, 32};
  if (index >= 0 && index < 6) return kVbr[index];
  if (index >= 24 && index <= 33) return kCbr[index - 24];
  return 128;
}

}  // namespace hub
