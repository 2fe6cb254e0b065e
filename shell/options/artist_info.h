// The artist-information web service: the albums of an artist, ten to a
// page, marked when the player holds tracks of them, and the picture of one
// album for the tag editor. Address, associate tag and developer token are
// settings (`URL_ArtistInfo`, `URL_ArtistInfoTag`, `URL_ArtistInfoToken`).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_window.h"

namespace hub {

// One album of an answer, with the address of its detail page.
struct ArtistAlbum {
  std::string title;
  std::string releaseDate;
  std::string label;
  std::string detailsUrl;
};

struct ArtistAnswer {
  std::vector<ArtistAlbum> albums;
  std::optional<int> totalPages;   // absent: the answer did not say
  std::string imageUrlMedium;      // the first "ImageUrlMedium" value
};

// The text between the first ">" and the last "</" of a line ("" when it has no such pair).
std::string XmlLineValue(std::string_view line);
// Reads an answer line by line; a "Details url" starts an album's block and
// stays with the album named in it, XML entities are decoded.
ArtistAnswer ParseArtistAnswer(std::string_view body);

// The query's address for one page (with `album` as keywords when given);
// empty when no service address is set.
std::string ArtistQueryUrl(std::string_view artist, int page, std::string_view album = {});

struct HttpAnswer {
  bool reached = false;  // connected and answered
  long status = 0;
  std::string body;
  std::string error;
};
// GET with a 5,000 ms connect time-out; at most `maxBytes` of body.
HttpAnswer HttpGet(const std::string& url, size_t maxBytes);

// The tag editor's art button: asks the service for the album's picture and
// downloads it into the temporary "art" folder as "amazon.jpg"; the path, or
// "" after telling the person why not.
std::string FetchAlbumArt(std::string_view artist, std::string_view album);

// "Albums by '<artist>'".
class CArtistInfoDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 677;
  explicit CArtistInfoDlg(std::string artist, platform::ui::WindowHandle parent = 0);

  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;

  // Runs the query of the current page and fills the list.
  void RunQuery();
  int CurrentPage() const { return page_; }
  int TotalPages() const { return total_; }
  const std::vector<ArtistAlbum>& Albums() const { return albums_; }

 private:
  std::string artist_;
  int page_ = 1;
  int total_ = 1;
  std::vector<ArtistAlbum> albums_;
};

}  // namespace hub
