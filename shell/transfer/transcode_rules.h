// Which audio formats the selected product's players take, which codecs this
// system has, and the user's Sonvert rule of each source format: send as is,
// convert to another format, or reduce the bitrate. Codecs are looked up
// through an injectable registry, so tests decide what is installed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

// Rule kinds (the high 16 bits of a rule code).
inline constexpr uint32_t kRuleSendAsIs = 0;
inline constexpr uint32_t kRuleConvert = 1;
inline constexpr uint32_t kRuleReduceBitrate = 2;
// A separator line in a rule list; never a rule.
inline constexpr uint32_t kRuleSeparator = 0xFFFFFFFF;

inline constexpr uint32_t RuleKind(uint32_t code) { return code >> 16; }
inline constexpr uint32_t RuleFormat(uint32_t code) { return code & 0xFFFF; }

class CodecRegistry {
 public:
  virtual ~CodecRegistry() = default;
  // True when the format can be decoded (encoded); `name` is the text shown for the codec.
  virtual bool FindDecoder(int format, std::string& name) = 0;
  virtual bool FindEncoder(int format, std::string& name) = 0;
};

// The codecs of this system: WAV always; MP3 and WMA decoding and WMA encoding
// through the media libraries; Ogg Vorbis and FLAC decoding when the libraries
// the shared values "ogg.dll" and "vorbis.dll", "libFLAC.dll" name load; MP3
// encoding through "be_encoder.so" in the shared program folder, else the
// compression manager's MP3 stream.
class SystemCodecRegistry : public CodecRegistry {
 public:
  bool FindDecoder(int format, std::string& name) override;
  bool FindEncoder(int format, std::string& name) override;
};

// Replaces the registry (tests); null restores the system's.
void SetCodecRegistry(std::shared_ptr<CodecRegistry> registry);

bool DeviceSupportsFormat(int format);
bool FindDecoder(int format, std::string& name);
bool FindEncoder(int format, std::string& name);
// Adds the installed audio compression drivers; on this system there are none
// to add, so it only marks that codec lookups may begin.
void LoadAcmDrivers();

void ListTranscodeRules(int format, std::vector<uint32_t>& list, int& index);
uint32_t GetTranscodeRule(int format);
std::string DescribeTranscodeRule(uint32_t code);
bool SaveTranscodeRule(int format, uint32_t code);
void ClearTranscodeRules();

bool IsTransferable(std::string_view path);
bool NeedsTranscode(const std::string& path);

}  // namespace hub
