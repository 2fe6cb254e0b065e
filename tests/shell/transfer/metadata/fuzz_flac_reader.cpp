// Fuzz target: the FLAC reader over a file held in memory, through the
// libFLAC the shared setting names (set here as an installer would).
#include <cstdlib>

#include "common/product_profile.h"
#include "fuzz_common.h"
#include "platform/registry/registry.h"
#include "platform/paths.h"
#include "shell/transfer/metadata/track_info.h"

#include <unistd.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    // A registry of its own, so a fuzz run never touches the user's settings.
    static std::string db = hub::platform::SystemTempDir() + "/fuzz_flac_" + std::to_string(getpid()) + ".db";
    setenv("HUB_REGISTRY", db.c_str(), 1);
    hub::SelectProduct("irivmgr", hub::TheProductProfile());
    auto& registry = hub::platform::Registry::Instance();
    const auto& key = hub::TheProductProfile().sharedRegistryKey;
    registry.CreateKey(hub::platform::Hive::CurrentUser, key);
    registry.Write(hub::platform::Hive::CurrentUser, key, "libFLAC.dll", hub::platform::RegistryValue::String("libFLAC.so.12"));
    std::atexit([] { std::remove(db.c_str()); });
    return true;
  }();
  (void)ready;
  hub::metadata::MemoryByteSource source(data, size);
  hub::_AUDIODATA record = hub::test::FuzzRecord(hub::kFileTypeFlac, size);
  hub::metadata::ReadFlacTags(source, record);
  record.Terminate();
  return 0;
}
