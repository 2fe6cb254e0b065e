// Stream and data handlers: copy the item into a temporary file (unless the
// player's file can be read directly) and send it, following a copy in progress.
#include "webserver/handler_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "common/file_copy_signal.h"
#include "common/folders.h"
#include "common/settings.h"
#include "platform/unique_fd.h"
#include "webserver/byte_range.h"
#include "webserver/http_exception.h"
#include "webserver/http_response.h"
#include "webserver/http_server.h"
#include "webserver/item_path.h"
#include "webserver/stream_source.h"
#include "webserver/temp_file_users.h"

namespace hub {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kStreamPiece = 128000;
constexpr auto kPoll = std::chrono::milliseconds(20);

using platform::UniqueFd;

int64_t FileSize(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Opens the file, waiting while a copy is expected to create it. `copied`:
// this request ran the copy, so a missing file with no copy running is final.
UniqueFd OpenWhenThere(HttpConnection& connection, const std::string& path, std::chrono::milliseconds limit,
                         bool copied) {
  auto deadline = Clock::now() + limit;
  for (;;) {
    connection.ThrowIfPeerGone();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return UniqueFd(fd);
    if (errno != ENOENT || Clock::now() >= deadline) return UniqueFd();
    // The copy may have ended between the open and this check: one more look.
    if (copied && !IsFileCopyRunning(path)) return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    // A copy that ends within the wait is looked at again at once; with none
    // running (it has not started yet) the next look comes after a pause.
    const bool wasRunning = IsFileCopyRunning(path);
    WaitForFileCopy(path, kPoll);
    if (!wasRunning) std::this_thread::sleep_for(kPoll);
  }
}

// "log.txt" in the "surgecast" folder: what the latest stream request did.
// A log that cannot be opened is simply not written.
class StatusLog {
 public:
  StatusLog() {
    std::string path = GetTempFolder(kTempSurgecast) + "log.txt";
    fd_ = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  }
  void Write(std::string_view text) {
    if (fd_.get() >= 0) [[maybe_unused]] ssize_t w = ::write(fd_.get(), text.data(), text.size());
  }

 private:
  UniqueFd fd_;
};

// Before a new copy: the oldest copies nobody uses go while the folder holds
// more than "KW_SurgecastLimitMB" (default 2 GiB).
void TrimTempFolder() {
  uint64_t capBytes = uint64_t{SettingDword("KW_SurgecastLimitMB", 2048)} << 20;
  TempFileUse::TrimFolder(GetTempFolder(kTempSurgecast), capBytes, {"log.txt"});
}

StreamSource& SourceOf(HttpServer* server) {
  StreamSource* source = server->Streams();
  if (!source) throw HttpException(404);
  return *source;
}

void CheckMethod(const HttpRequest& request) {
  if (request.method != kMethodGet && request.method != kMethodHead && request.method != kMethodTrace) {
    throw HttpException(405);
  }
}

// TRACE: the head, then the request as received.
void SendTrace(const HttpRequest& request, HttpConnection& connection, int typeId, const std::string& name) {
  BodyExtent extent;
  extent.size = static_cast<int64_t>(request.raw.size());
  WriteResponseHead(request, connection, 200, extent, typeId, name);
  connection.Send(request.raw);
}

// Sends [first, first + length) of a file that a copy may still be writing;
// length -1 sends to the end. Ends when the file stops growing for `stall`.
void SendFollowing(HttpConnection& connection, int fd, const std::string& path, int64_t first, int64_t length,
                   StatusLog* log = nullptr) {
  int64_t pos = first;
  int64_t end = length < 0 ? -1 : first + length;
  auto lastGrowth = Clock::now();
  while (end < 0 || pos < end) {
    bool copying = IsFileCopyRunning(path);
    int64_t size = FileSize(fd);
    if (size > pos) {
      // A finished file goes out in one sendfile; a growing one in pieces.
      int64_t piece = copying ? std::min<int64_t>(size - pos, kStreamPiece) : size - pos;
      if (end >= 0) piece = std::min(piece, end - pos);
      if (log) log->Write("c: " + std::to_string(piece) + "\n");
      connection.SendFile(fd, static_cast<off_t>(pos), static_cast<size_t>(piece));
      pos += piece;
      lastGrowth = Clock::now();
      continue;
    }
    if (!copying) {
      // The copy ended between the size check and now: look once more.
      if (FileSize(fd) > pos) continue;
      if (log) log->Write("\neof\n");
      break;
    }
    if (Clock::now() - lastGrowth > kCopyWait) break;
    // A peer that left while the copy runs frees its copy at once.
    connection.ThrowIfPeerGone();
    WaitForFileCopy(path, kPoll);
  }
  // A body cut short must not look complete: the caller closes the connection,
  // and a promised length that was not reached tells the client.
}

}  // namespace

std::string StreamTempPath(uint64_t id, const std::string& extension) {
  return GetTempFolder(kTempSurgecast) + std::to_string(id) + extension;
}

std::string DataTempPath(uint64_t id, const std::string& extension) {
  return GetTempFolder(kTempSurgecast) + "data" + std::to_string(id) + extension;
}

void HandlerStream::HandleRequest(HttpRequest& request, HttpConnection& connection) {
  ItemPath item;
  if (!ParseItemPath(request.path, GetPrefix(), item)) throw HttpException(404);
  CheckMethod(request);
  StreamSource& source = SourceOf(Server());
  bool track = StreamKindOfName(item.name) == 2;
  // Devices answer 0 for sizes they do not know; a real empty file is measured once copied.
  int64_t size = track ? source.TrackSize(item.id) : source.DataItemSize(item.id);
  if (size <= 0) size = -1;
  std::string name = track ? source.TrackFileName(item.id) : source.DataItemName(item.id);
  int typeId = MimeIdForExtension(item.extension);
  if (request.method == kMethodTrace) return SendTrace(request, connection, typeId, name);

  bool direct = track && source.PlaysOnComputer();
  std::string path = direct ? source.TrackFilePath(item.id) : StreamTempPath(item.id, item.extension);
  if (request.method == kMethodHead) {
    // HEAD starts no copy; a complete file at hand gives the exact size.
    if (Exists(path) && !IsFileCopyRunning(path)) {
      UniqueFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (f.get() >= 0) size = FileSize(f.get());
    }
    WriteResponseHead(request, connection, 200, BodyExtent{size}, typeId, name);
    return;
  }

  StatusLog log;
  std::optional<TempFileUse> use;
  bool copied = direct;
  if (!direct) {
    log.Write("\n" + path + "\n");
    use.emplace(path);
    bool there = Exists(path);
    log.Write(there ? "e\n" : "dne\n");
    if (use->First() && !there) {
      copied = true;
      TrimTempFolder();
      // Announced here too, so a copy that finishes before returning is followed as well.
      FileCopyGuard copying(path);
      if (track) {
        source.CopyTrack(item.id, path);
      } else {
        source.CopyDataItem(item.id, path);
      }
    }
  }
  auto openStart = Clock::now();
  UniqueFd file = OpenWhenThere(connection, path, kCopyWait, copied);
  if (file.get() < 0) throw HttpException(404, "Request handler could not find file.");
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - openStart).count();
  log.Write("d\n" + std::to_string(waited) + "\n");
  if (direct || !IsFileCopyRunning(path)) size = FileSize(file.get());

  BodyExtent extent{size};
  if (request.HasHeader("range") && request.Header("user-agent").find("RealMedia") == std::string::npos) {
    ByteRangeChoice range = ChooseByteRange(request.Header("range"), size);
    if (range.kind == ByteRangeChoice::Unsatisfiable) {
      throw HttpException(416, "Content-Range: bytes */" + std::to_string(size) + "\r\n", {});
    }
    if (range.kind == ByteRangeChoice::Satisfied) {
      extent.partial = true;
      extent.first = range.first;
      extent.last = range.last;
    }
  }
  WriteResponseHead(request, connection, 200, extent, typeId, name);
  log.Write("Header sent.");
  int64_t first = extent.partial ? extent.first : 0;
  log.Write("ls: " + std::to_string(first) + "\n\n");
  SendFollowing(connection, file.get(), path, first, extent.Length(), &log);
  log.Write("\ncomplete\n");
}

void HandlerData::HandleRequest(HttpRequest& request, HttpConnection& connection) {
  ItemPath item;
  if (!ParseItemPath(request.path, GetPrefix(), item)) throw HttpException(404);
  CheckMethod(request);
  StreamSource& source = SourceOf(Server());
  int64_t size = source.DataItemSize(item.id);
  if (size <= 0) size = -1;
  std::string name = item.name;
  int typeId = MimeIdForExtension(item.extension);
  if (request.method == kMethodTrace) return SendTrace(request, connection, typeId, name);
  std::string path = DataTempPath(item.id, item.extension);
  if (request.method == kMethodHead) {
    WriteResponseHead(request, connection, 200, BodyExtent{size}, typeId, name);
    return;
  }

  TempFileUse use(path, {path + ".tmp"});
  bool copied = false;
  if (use.First() && !Exists(path)) {
    copied = true;
    TrimTempFolder();
    FileCopyGuard copying(path);
    source.CopyDataItem(item.id, path);
  }
  // A download is sent once its copy is complete, so its length is exact.
  UniqueFd file = OpenWhenThere(connection, path, kCopyWait, copied);
  if (file.get() < 0 || !WaitForFileCopy(path, kCopyWait)) {
    throw HttpException(404, "Request handler could not find file.");
  }
  size = FileSize(file.get());
  WriteResponseHead(request, connection, 200, BodyExtent{size}, typeId, name);
  SendFollowing(connection, file.get(), path, 0, size);
}

}  // namespace hub
