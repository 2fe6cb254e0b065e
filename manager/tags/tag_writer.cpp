// Tag writing: the ID3 and ASF writes, and the worker that keeps a damaged or
// locked file from hanging the caller.
#include "manager/tags/tag_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <id3/misc_support.h>
#include <id3/tag.h>

#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/fs/volumes.h"
#include "platform/media/asf_tags.h"
#include "shell/transfer/metadata/id3v2_walker.h"

namespace hub {
namespace {

// --- Files ---

// The native path of a record's file: player paths resolve inside the player.
std::string NativePathOf(std::string_view path) {
  if (platform::DriveLetterOf(path) == 0) return std::string(path);
  return platform::ResolvePlayerPath(path).value_or(std::string());
}

// A copy of the file beside it, removed unless committed over the original.
class WorkingCopy {
 public:
  explicit WorkingCopy(std::string original) : original_(std::move(original)), path_(original_ + ".tagtmp") {}
  ~WorkingCopy() {
    if (!committed_) ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

  bool Make() {
    int in = ::open(original_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    int out = ok ? ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777) : -1;
    ok = out >= 0;
    std::vector<char> buffer(1 << 16);
    while (ok) {
      ssize_t n = ::read(in, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      for (ssize_t done = 0; ok && done < n;) {
        ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
        if (w < 0 && errno == EINTR) continue;
        ok = w > 0;
        done += w > 0 ? w : 0;
      }
    }
    ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    return ok;
  }

  // Flushes the copy and renames it over the original.
  bool Commit() {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!ok || ::rename(path_.c_str(), original_.c_str()) != 0) return false;
    committed_ = true;
    return true;
  }

 private:
  std::string original_;
  std::string path_;
  bool committed_ = false;
};

void LogTagFailure(const std::string& path, const std::string& why) {
  std::fprintf(stderr, "tags not written to %s: %s\n", path.c_str(), why.c_str());
}

// --- ID3 ---

// ID3 texts are Latin-1 or UTF-16; UTF-8 that fits Latin-1 is stored as Latin-1.
bool Utf8ToLatin1(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += char(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() && (uint8_t(text[i + 1]) & 0xC0) == 0x80) {
      out += char(((c & 0x03) << 6) | (uint8_t(text[i + 1]) & 0x3F));
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

// id3lib 3.8.3 writes a little-endian byte-order mark and then each unit high
// byte first; units handed over byte-swapped come out as the mark says.
unicode_t ForId3lib(uint32_t unit) { return unicode_t(((unit & 0xFF) << 8) | ((unit >> 8) & 0xFF)); }

std::vector<unicode_t> Utf8ToUnicode(std::string_view text) {
  std::vector<unicode_t> out;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp;
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + len > text.size()) break;
    cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < len; ++k) cp = cp << 6 | (uint8_t(text[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(ForId3lib(0xD800 + (cp >> 10)));
      out.push_back(ForId3lib(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(ForId3lib(cp));
    }
  }
  out.push_back(0);
  return out;
}

// The widest text field of a version 1 tag (title, artist, album).
constexpr size_t kId3v1TextWidth = 30;

// Version 1 holds single bytes only: Latin-1, "?" for every other character
// (one per code point), cut to the field's width.
std::string Utf8ToLatin1Lossy(std::string_view text, size_t width) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < width;) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t want = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    size_t len = 1;
    while (len < want && i + len < text.size() && (uint8_t(text[i + len]) & 0xC0) == 0x80) ++len;
    if (c < 0x80)
      out += char(c);
    else if (len == 2 && (c == 0xC2 || c == 0xC3))
      out += char(((c & 0x03) << 6) | (uint8_t(text[i + 1]) & 0x3F));
    else
      out += '?';
    i += len;
  }
  return out;
}

// Which tag version the frames are being set up for.
enum class TagText { kVersion2, kVersion1 };

void SetFrameText(ID3_Frame& frame, ID3_FieldID field, std::string_view text, TagText version) {
  ID3_Field* f = frame.GetField(field);
  if (!f) return;
  std::string latin1;
  if (version == TagText::kVersion1) {
    // id3lib renders version 1 from the frames' single-byte text; UTF-16 would come out garbled.
    f->Set(Utf8ToLatin1Lossy(text, kId3v1TextWidth).c_str());
  } else if (Utf8ToLatin1(text, latin1)) {
    f->Set(latin1.c_str());
  } else {
    if (ID3_Field* enc = frame.GetField(ID3FN_TEXTENC)) enc->Set(uint32(ID3TE_UTF16));
    f->SetEncoding(ID3TE_UTF16);
    f->Set(Utf8ToUnicode(text).data());
  }
}

// Removes every frame of the kind (for comments: those without a description,
// which is the one the system writes) and adds one holding `text` when it is not empty.
void ReplaceFrame(ID3_Tag& tag, ID3_FrameID id, std::string_view text, TagText version) {
  std::vector<std::unique_ptr<ID3_Frame>> kept;
  while (ID3_Frame* found = tag.Find(id)) {
    std::unique_ptr<ID3_Frame> frame(tag.RemoveFrame(found));
    if (!frame) break;
    if (id == ID3FID_COMMENT) {
      ID3_Field* desc = frame->GetField(ID3FN_DESCRIPTION);
      char buffer[8] = {};
      if (desc && desc->Get(buffer, sizeof buffer) > 0) kept.push_back(std::move(frame));
    }
  }
  for (auto& frame : kept) tag.AttachFrame(frame.release());
  if (text.empty()) return;
  auto frame = std::make_unique<ID3_Frame>(id);
  if (id == ID3FID_COMMENT) {
    if (ID3_Field* lang = frame->GetField(ID3FN_LANGUAGE)) lang->Set("eng");
  }
  SetFrameText(*frame, ID3FN_TEXT, text, version);
  tag.AttachFrame(frame.release());
}

void ReplaceTrackFrames(ID3_Tag& tag, const _AUDIODATA& record, TagText version) {
  ReplaceFrame(tag, ID3FID_LEADARTIST, record.artist.Get(), version);
  ReplaceFrame(tag, ID3FID_ALBUM, record.album.Get(), version);
  ReplaceFrame(tag, ID3FID_TRACKNUM, record.trackNumber ? std::to_string(record.trackNumber) : std::string(), version);
  ReplaceFrame(tag, ID3FID_TITLE, record.title.Get(), version);
  ReplaceFrame(tag, ID3FID_YEAR, record.year ? std::to_string(record.year) : std::string(), version);
  ReplaceFrame(tag, ID3FID_CONTENTTYPE, record.genre.Get(), version);
  ReplaceFrame(tag, ID3FID_COMMENT, record.comment.Get(), version);
}

bool WriteId3Tags(const _AUDIODATA& record, const std::string& path, int force) {
  uint32_t useV1 = 0, useV2 = 0;
  ReadSettingDword("ATM_TWB_UseV1", useV1);
  ReadSettingDword("ATM_TWB_UseV2", useV2);
  flags_t wanted = 0;
  if (force) wanted = ID3TT_ID3V1 | ID3TT_ID3V2;
  else if (useV1 || useV2) wanted = (useV1 ? ID3TT_ID3V1 : 0) | (useV2 ? ID3TT_ID3V2 : 0);
  else wanted = ID3TT_ID3V1;

  // id3lib must never parse a tag our guard refused, nor rewrite a v2.4 one.
  if (std::string why = metadata::Id3RewriteRefusal(path); !why.empty()) {
    LogTagFailure(path, why);
    return false;
  }
  WorkingCopy copy(path);
  if (!copy.Make()) {
    LogTagFailure(path, std::string("cannot copy the file: ") + std::strerror(errno));
    return false;
  }
  {
    ID3_Tag tag;
    tag.Link(copy.path().c_str(), ID3TT_ALL);
    // Version 2 first, from frames that may hold UTF-16; then the same frames
    // in single bytes for version 1, which id3lib renders from them.
    flags_t written = 0;
    for (TagText version : {TagText::kVersion2, TagText::kVersion1}) {
      flags_t type = version == TagText::kVersion2 ? ID3TT_ID3V2 : ID3TT_ID3V1;
      if (!(wanted & type)) continue;
      ReplaceTrackFrames(tag, record, version);
      written |= tag.Update(type);
    }
    if ((written & wanted) != wanted) {
      LogTagFailure(path, "id3lib wrote tag types " + std::to_string(written) + " of " + std::to_string(wanted));
      return false;
    }
  }
  // Read the copy back: what id3lib reports is not proof that the file holds it.
  ID3_Tag check;
  check.Link(copy.path().c_str(), ID3TT_ALL);
  if (((wanted & ID3TT_ID3V1) && !check.HasTagType(ID3TT_ID3V1)) ||
      ((wanted & ID3TT_ID3V2) && !check.HasTagType(ID3TT_ID3V2))) {
    LogTagFailure(path, "the rewritten file does not hold the tags");
    return false;
  }
  if (!copy.Commit()) {
    LogTagFailure(path, std::string("cannot replace the file: ") + std::strerror(errno));
    return false;
  }
  return true;
}

// --- WMA ---

bool WriteWmaTags(const _AUDIODATA& record, const std::string& path) {
  using platform::media::AsfWriteStatus;
  int track = static_cast<int>(record.trackNumber);
  std::vector<platform::media::AsfAttribute> attributes = {
      {"Author", record.artist.str()},
      {"WM/AlbumTitle", record.album.str()},
      {"Title", record.title.str()},
      {"WM/TrackNumber", std::to_string(track)},
      {"WM/Track", std::to_string(track - 1)},
      {"WM/Year", std::to_string(static_cast<int>(record.year))},
      {"WM/Genre", record.genre.str()},
      {"Description", record.comment.str()},
  };
  auto result = platform::media::WriteAsfAttributes(path, attributes);
  if (result.ok()) return true;
  LogTagFailure(path, result.error);
  if (result.status == AsfWriteStatus::kNotAvailable && result.error == "this system has no ASF writer")
    ShowMessage("To write WMA tags, you must have Windows Media Player 7.0 or higher.",
                platform::ui::kMbOk | platform::ui::kMbIconInformation);
  return false;
}

// --- The worker ---

std::function<void(const _AUDIODATA&)>& Hook() {
  static auto* hook = new std::function<void(const _AUDIODATA&)>;
  return *hook;
}

// Held by the worker for the whole write, and by whoever sets the hook.
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

// One call: the worker's own record and the completion it signals.
struct TagWriteCall {
  _AUDIODATA record;
  int force = 0;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool result = false;
};

void WriteTrackTagsWorker(std::shared_ptr<TagWriteCall> call) {
  bool result = false;
  {
    std::lock_guard lock(WriteLock());
    if (auto& hook = Hook(); hook) hook(call->record);
    try {
      result = WriteTagsToFile(call->record, call->force);
    } catch (const std::exception& e) {
      LogTagFailure(call->record.path.str(), e.what());
    }
  }
  std::lock_guard lock(call->mutex);
  call->result = result;
  call->finished = true;
  call->done.notify_all();
}

}  // namespace

void SetTagWriteHook(std::function<void(const _AUDIODATA&)> hook) {
  std::lock_guard lock(WriteLock());
  Hook() = std::move(hook);
}

ScopedTagWriteHook::ScopedTagWriteHook(std::function<void(const _AUDIODATA&)> hook) {
  std::lock_guard lock(WriteLock());
  previous_ = std::exchange(Hook(), std::move(hook));
}

ScopedTagWriteHook::~ScopedTagWriteHook() { SetTagWriteHook(std::move(previous_)); }

bool WriteTagsToFile(const _AUDIODATA& record, int force) {
  std::string extension;
  std::string_view path = record.path.Get();
  if (auto dot = path.find_last_of('.'); dot != std::string_view::npos && path.find_first_of("\\/", dot) == std::string_view::npos)
    extension = AsciiLower(path.substr(dot));
  if (extension != ".mp3" && extension != ".wma") return true;

  std::string native = NativePathOf(path);
  if (native.empty()) {
    LogTagFailure(std::string(path), "the path does not lie on a present player");
    return false;
  }
  return extension == ".mp3" ? WriteId3Tags(record, native, force) : WriteWmaTags(record, native);
}

namespace {

// The one thread that writes tags, in request order. A caller that stops
// waiting leaves its call queued; the process's exit waits for the write
// under way and drops the rest.
class TagWriteWorker {
 public:
  static TagWriteWorker& Instance() {
    WriteLock();  // made first, so it outlives the worker that uses it
    static TagWriteWorker worker;
    return worker;
  }
  ~TagWriteWorker() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void Submit(std::shared_ptr<TagWriteCall> call) {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    queue_.push_back(std::move(call));
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      std::shared_ptr<TagWriteCall> call;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        call = std::move(queue_.front());
        queue_.pop_front();
      }
      WriteTrackTagsWorker(std::move(call));
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<TagWriteCall>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

int WriteTrackTags(const _AUDIODATA& record, int force, int timeoutMs) {
  auto call = std::make_shared<TagWriteCall>();
  call->record = record;
  call->record.Terminate();
  call->force = force;
  try {
    TagWriteWorker::Instance().Submit(call);
  } catch (const std::system_error& e) {
    LogTagFailure(record.path.str(), e.what());
    return 0;
  }
  std::unique_lock lock(call->mutex);
  if (!call->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return call->finished; })) return 0;
  return call->result ? 1 : 0;
}

}  // namespace hub
