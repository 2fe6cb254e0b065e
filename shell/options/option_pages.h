// The option pages of the Options sheet whose behaviour is small: general,
// database folder, the MuVo, NOMAD II, jukebox, tag-handling, transfer, folder
// structure, encoding and About pages. Their settings are tables of
// OptionPage; what each page does beyond that is here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "shell/options/option_page.h"

namespace hub {

class OptGeneral : public OptionPage {
 public:
  OptGeneral();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  // What the temp-folder and browser settings fall back to.
  static std::string DefaultTempPath();
  static constexpr const char* kDefaultBrowser = "iexplore.exe";

 protected:
  void ExchangeMore(platform::ui::DataExchange& dx) override;
  bool BeforeWrite() override;
};

class OptPellmar : public OptionPage {
 public:
  OptPellmar();
  bool OnCommand(int id) override;
  // The database folder's default: $XDG_DATA_HOME (else ~/.local/share) + "/Quorral Software/".
  static std::string DefaultDatabasePath();
};

// The MuVo pages: the drive combo lists the removable drives and is enabled
// only while auto-detect is off.
class OptMuvoBase : public OptionPage {
 public:
  OptMuvoBase(platform::ui::DialogTemplate t, std::vector<SettingDef> settings, int autoDetect, int drives,
              const char* letterSetting);
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

 private:
  int autoDetect_;
  int drives_;
  const char* letterSetting_;
};

class OptMuvo : public OptMuvoBase {
 public:
  OptMuvo();
};

class OptMuvoNX : public OptMuvoBase {
 public:
  OptMuvoNX();
  bool OnCommand(int id) override;
};

class OptNomadII : public OptionPage {
 public:
  OptNomadII();
  bool OnCommand(int id) override;
};

class OptJukebox : public OptionPage {
 public:
  OptJukebox();
  bool OnCommand(int id) override;
};

class OptJukeboxTagHandling : public OptionPage {
 public:
  OptJukeboxTagHandling();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

 protected:
  bool BeforeWrite() override;
};

class OptTransfersAdvanced : public OptionPage {
 public:
  OptTransfersAdvanced();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
};

class OptTransfers : public OptionPage {
 public:
  OptTransfers();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

 protected:
  void ExchangeMore(platform::ui::DataExchange& dx) override;
  void WriteMore() override;

 private:
  int skipData_ = 0;
};

// The music subfolder pages: an empty `MS_AudioRoot` shows as "ROOT".
class OptFolderStructure : public OptionPage {
 public:
  OptFolderStructure(platform::ui::DialogTemplate t, std::vector<SettingDef> settings);
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  // "ROOT" -> "", backslashes removed, then the path normalised.
  static std::string StoredAudioRoot(std::string_view shown);

 protected:
  bool BeforeWrite() override;
};

class OptIHP : public OptFolderStructure {
 public:
  OptIHP();
};

class OptXclef : public OptFolderStructure {
 public:
  OptXclef();
  bool OnCommand(int id) override;
};

// Slider tables of the encoding page.
struct TranscodeScale {
  std::vector<int> values;
  int outside;  // the position of a stored value not in the table
  int Position(int value) const;
};
extern const TranscodeScale kMp3Bitrates;
extern const TranscodeScale kWmaBitrates;
extern const TranscodeScale kWmaQualities;

class OptTransfersTranscode : public OptionPage {
 public:
  OptTransfersTranscode();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  void OnHScroll(platform::ui::Slider& slider, int code) override;
  // Slider positions, as the page holds them.
  int mp3Bitrate = 0, mp3Quality = 0, wmaBitrate = 0, wmaQuality = 0;

 protected:
  void ExchangeMore(platform::ui::DataExchange& dx) override;
  void WriteMore() override;

 private:
  void UpdateLabels();
  void ShowModes();
};

class OptAbout : public OptionPage {
 public:
  OptAbout();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
};

}  // namespace hub
