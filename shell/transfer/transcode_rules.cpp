// Format support and the Sonvert rules.
#include "shell/transfer/transcode_rules.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "common/product_profile.h"
#include "common/records.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/media/acm.h"
#include "platform/media/codecs.h"
#include "platform/registry/registry.h"
#include "shell/transfer/metadata/library_handle.h"
#include "shell/transfer/metadata/track_info.h"

namespace hub {
namespace {

constexpr int kFirstFormat = 1, kLastFormat = 11;

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::shared_ptr<CodecRegistry>& InstalledRegistry() {
  static std::shared_ptr<CodecRegistry> registry;
  return registry;
}
std::shared_ptr<CodecRegistry> CurrentRegistry() {
  std::lock_guard lock(RegistryLock());
  if (!InstalledRegistry()) InstalledRegistry() = std::make_shared<SystemCodecRegistry>();
  return InstalledRegistry();
}

// A library is present when it loads; it is freed again at once.
bool Loads(const std::string& path) { return !path.empty() && LibraryHandle(path).loaded(); }

std::string RuleValueName(int format) {
  char name[16];
  std::snprintf(name, sizeof name, "Xc2_S%02d", format);
  return name;
}

}  // namespace

bool SystemCodecRegistry::FindDecoder(int format, std::string& name) {
  switch (format) {
    case kFileTypeWav: name = "Internal WAV Support"; return true;
    case kFileTypeMp3:
    case kFileTypeWma:
      if (!platform::media::HasMp3AndWmaDecoders()) return false;
      name = "Windows Media Format";
      return true;
    case kFileTypeOgg:
      if (!Loads(metadata::SharedLibraryPath("ogg.dll")) || !Loads(metadata::SharedLibraryPath("vorbis.dll"))) return false;
      name = "Ogg Vorbis Dynamic Library";
      return true;
    case kFileTypeFlac:
      if (!Loads(metadata::SharedLibraryPath("libFLAC.dll"))) return false;
      name = "FLAC Dynamic Library";
      return true;
    default: return false;
  }
}

bool SystemCodecRegistry::FindEncoder(int format, std::string& name) {
  switch (format) {
    case kFileTypeWav: name = "Internal WAV Support"; return true;
    case kFileTypeMp3: {
      if (Loads(GetSharedProgramFolder() + "be_encoder.so")) {
        name = "BE Compatible Library";
        return true;
      }
      // Second choice: a compression-manager stream from standard PCM to MPEG Layer-3.
      using namespace platform::media;
      std::unique_ptr<AcmStream> stream;
      const AcmFormat pcm{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0}, mp3{kWaveFormatMpegLayer3, 2, 44100, 16000, 1, 0, 0};
      if (!AcmStream::Open(pcm, mp3, stream).ok()) return false;
      name = AcmMp3DriverName();
      return true;
    }
    case kFileTypeWma:
      if (!platform::media::HasWmaEncoder()) return false;
      name = "Windows Media Format";
      return true;
    default: return false;
  }
}

void SetCodecRegistry(std::shared_ptr<CodecRegistry> registry) {
  std::lock_guard lock(RegistryLock());
  InstalledRegistry() = std::move(registry);
}

void LoadAcmDrivers() {
  // No driver registrations exist on this system: the walk would find none.
  static std::once_flag once;
  std::call_once(once, [] {});
}

bool DeviceSupportsFormat(int format) {
  if (format < kFirstFormat || format > kLastFormat) return false;
  static const std::vector<int> kOvelin = {1, 2, 5, 6, 7, 8, 9}, kTarveld = {1, 2, 3, 10},
                                kPellmar = {1, 2, 3, 5, 6, 7, 8, 9, 10, 11}, kMentavo = {1, 2, 3, 10, 11},
                                kOther = {1, 2, 3};
  const std::vector<int>* accepted = &kOther;
  switch (TheProductProfile().productNumber) {
    case 4: accepted = &kOvelin; break;
    case 7:
    case 8: accepted = &kTarveld; break;
    case 9: accepted = &kPellmar; break;
    case 2: accepted = &kMentavo; break;
    default: break;
  }
  return std::find(accepted->begin(), accepted->end(), format) != accepted->end();
}

bool FindDecoder(int format, std::string& name) {
  LoadAcmDrivers();
  return CurrentRegistry()->FindDecoder(format, name);
}

bool FindEncoder(int format, std::string& name) {
  LoadAcmDrivers();
  return CurrentRegistry()->FindEncoder(format, name);
}

void ListTranscodeRules(int format, std::vector<uint32_t>& list, int& index) {
  list.clear();
  index = 0;
  std::string name;
  const bool decoder = FindDecoder(format, name);
  auto encoder = [&](int f) { return FindEncoder(f, name); };
  auto addTargets = [&] {
    for (int t = kFirstFormat; t <= kLastFormat; ++t)
      if (t != format && DeviceSupportsFormat(t) && encoder(t)) list.push_back(uint32_t(t) | kRuleConvert << 16);
  };
  if (DeviceSupportsFormat(format)) {
    list.push_back(uint32_t(format));
    if (decoder && format != kFileTypeWav && encoder(format)) {
      list.push_back(kRuleSeparator);
      list.push_back(uint32_t(format) | kRuleReduceBitrate << 16);
    }
    if (decoder) {
      list.push_back(kRuleSeparator);
      addTargets();
    }
  } else if (decoder) {
    addTargets();
  }
  const uint32_t stored = SettingDword(RuleValueName(format), 0);
  // A separator is a line of the list, never a stored rule.
  if (stored == 0 || stored == kRuleSeparator) return;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == stored) {
      index = int(i);
      break;
    }
  }
}

uint32_t GetTranscodeRule(int format) {
  std::vector<uint32_t> list;
  int index = 0;
  ListTranscodeRules(format, list, index);
  return list.empty() ? 0 : list[size_t(index)];
}

std::string DescribeTranscodeRule(uint32_t code) {
  if (code <= 0xFFFF) return "Transfer without Sonverting";
  switch (RuleKind(code)) {
    case kRuleConvert: return "Convert to " + AsciiUpper(GetExtensionForFileType(int(RuleFormat(code)))) + ", then Transfer";
    case kRuleReduceBitrate: return "Reduce Bitrate, then Transfer";
    default: return "Invalid Rule";
  }
}

bool SaveTranscodeRule(int format, uint32_t code) { return WriteSettingDword(RuleValueName(format), code); }

void ClearTranscodeRules() {
  const std::string& key = TheProductProfile().productRegistryKey;
  for (int f = kFirstFormat; f <= kLastFormat; ++f)
    platform::Registry::Instance().DeleteValue(platform::Hive::CurrentUser, key, RuleValueName(f));
}

bool IsTransferable(std::string_view path) {
  const int format = GetTrackFileType(path);
  if (DeviceSupportsFormat(format)) return true;
  return SettingDword("Xc2_On", 0) != 0 && GetTranscodeRule(format) > 0xFFFF;
}

bool NeedsTranscode(const std::string& path) {
  if (SettingDword("Xc2_On", 0) == 0) return false;
  const uint32_t rule = GetTranscodeRule(GetTrackFileType(path));
  switch (RuleKind(rule)) {
    case kRuleConvert: return true;
    case kRuleReduceBitrate: {
      _AUDIODATA record;
      ReadTrackInfoFromFile(path, record);
      return record.bitrate > SettingDword("Xc2_RThr", 128);
    }
    default: return false;
  }
}

}  // namespace hub
