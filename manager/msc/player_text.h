// Text in the files the player's own firmware reads (playlists, navigation
// file, contacts, notes): its code page and CR LF line ends. Our own text is
// UTF-8; the code page is a setting, Windows-1252 unless changed.
#pragma once

#include <string>
#include <string_view>

namespace hub {

inline constexpr std::string_view kPlayerCodePageSetting = "MS_PlayerCodePage";
inline constexpr std::string_view kDefaultPlayerCodePage = "WINDOWS-1252";

// Stands in, in names made for the player, for a character its code page cannot hold.
inline constexpr char kPlayerNameReplacement = '_';

// The code page named by the setting; the default when it is empty.
std::string PlayerCodePage();

// Converts between UTF-8 and one code page. A character the target cannot
// hold, and every byte that is not valid input, becomes '?'. An unknown code
// page name falls back to the default. Not thread-safe; make one per job.
class PlayerTextCodec {
 public:
  explicit PlayerTextCodec(std::string_view codePage = PlayerCodePage());
  ~PlayerTextCodec();
  PlayerTextCodec(const PlayerTextCodec&) = delete;
  PlayerTextCodec& operator=(const PlayerTextCodec&) = delete;

  std::string ToPlayer(std::string_view utf8) const;
  std::string FromPlayer(std::string_view bytes) const;
  // `utf8` with every character that does not come back unchanged through the
  // code page replaced by `replacement`, so names made from it round-trip.
  std::string OnlyCodePageCharacters(std::string_view utf8, char replacement) const;
  const std::string& CodePage() const { return codePage_; }

 private:
  std::string codePage_;
  void* toPlayer_ = nullptr;    // iconv_t
  void* fromPlayer_ = nullptr;  // iconv_t
};

// Each "\n" becomes CR LF, as a text-mode write does. A lone CR stays.
std::string WithCrLf(std::string_view text);
// Each CR LF becomes "\n", as a text-mode read does.
std::string WithoutCrLf(std::string_view text);

}  // namespace hub
