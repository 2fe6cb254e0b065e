// Fuzz target: the decoders over short files held in memory (a memfd named by
// its /proc path), chosen by the bytes as a player would: "fLaC" FLAC, "OggS"
// Ogg Vorbis, anything else the media runtime's reader (MP3, WMA, ...).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/product_profile.h"
#include "platform/paths.h"
#include "platform/registry/registry.h"
#include "shell/transfer/codec_jobs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string output = [] {
    static std::string db = hub::platform::SystemTempDir() + "/fuzz_codecs_" + std::to_string(getpid()) + ".db";
    setenv("HUB_REGISTRY", db.c_str(), 1);
    hub::SelectProduct("irivmgr", hub::TheProductProfile());
    auto& registry = hub::platform::Registry::Instance();
    const auto& key = hub::TheProductProfile().sharedRegistryKey;
    registry.CreateKey(hub::platform::Hive::CurrentUser, key);
    for (const auto& [name, value] : {std::pair{"libFLAC.dll", "libFLAC.so.12"}, {"ogg.dll", "libogg.so.0"},
                                      {"vorbis.dll", "libvorbis.so.0"}})
      registry.Write(hub::platform::Hive::CurrentUser, key, name, hub::platform::RegistryValue::String(value));
    static std::string out = hub::platform::SystemTempDir() + "/fuzz_codecs_" + std::to_string(getpid()) + ".wav";
    std::atexit([] {
      std::remove(db.c_str());
      std::remove(out.c_str());
    });
    return out;
  }();
  const int fd = ::memfd_create("fuzz-audio", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != ssize_t(size)) {
    ::close(fd);
    return 0;
  }
  const std::string source = "/proc/self/fd/" + std::to_string(fd);
  hub::CodecProgress progress(nullptr, nullptr, 5);
  if (size >= 4 && std::memcmp(data, "fLaC", 4) == 0) hub::DecodeFlac(source, output, progress);
  else if (size >= 4 && std::memcmp(data, "OggS", 4) == 0) hub::DecodeOgg(source, output, progress);
  else hub::DecodeWindowsMedia(source, output, progress);
  ::close(fd);
  return 0;
}
