#include "shell/options/artist_info.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>

#include "common/folders.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/fs/whole_file.h"
#include "platform/ui/controls.h"
#include "platform/ui/prompts.h"
#include "platform/utf8.h"
#include "shell/namespace/the_client.h"

namespace hub {
namespace ui = platform::ui;
namespace {

constexpr size_t kMaxAnswerBytes = 4u << 20;
constexpr size_t kMaxPictureBytes = 16u << 20;
constexpr long kConnectTimeoutMs = 5000;
constexpr long kTransferTimeoutMs = 60000;
// Images of the item image list: the green check mark, and the album.
constexpr int kImageOnPlayer = 34;
constexpr int kImageAlbum = 15;

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

std::string DecodeEntities(std::string_view s) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '&') {
      bool done = false;
      for (auto [name, c] : kNamed)
        if (s.substr(i, name.size()) == name) {
          out += c;
          i += name.size();
          done = true;
          break;
        }
      if (done) continue;
      // Numeric references: "&#38;", "&#x26;" as UTF-8.
      if (s.substr(i, 2) == "&#") {
        size_t semi = s.find(';', i);
        if (semi != std::string_view::npos && semi - i <= 10) {
          bool hex = i + 2 < semi && (s[i + 2] == 'x' || s[i + 2] == 'X');
          std::string_view digits = s.substr(i + (hex ? 3 : 2), semi - i - (hex ? 3 : 2));
          uint32_t cp = 0;
          auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
          if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size() && cp > 0 && cp <= 0x10FFFF &&
              (cp < 0xD800 || cp > 0xDFFF)) {
            platform::AppendUtf8(out, cp);
            i = semi + 1;
            continue;
          }
        }
      }
    }
    out += s[i++];
  }
  return out;
}

std::string Escape(std::string_view text) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return {};
  char* escaped = curl_easy_escape(curl.get(), text.data(), static_cast<int>(text.size()));
  if (!escaped) return {};
  std::string out = escaped;
  curl_free(escaped);
  return out;
}

struct Body {
  std::string* out;
  size_t max;
  bool tooLong = false;
};

size_t Collect(char* data, size_t size, size_t n, void* user) {
  auto* body = static_cast<Body*>(user);
  size_t bytes = size * n;
  if (body->out->size() + bytes > body->max) {
    body->tooLong = true;
    return 0;  // ends the transfer
  }
  body->out->append(data, bytes);
  return bytes;
}

void Inform(const std::string& text) { ShowMessage(text, ui::kMbIconInformation); }

}  // namespace

std::string XmlLineValue(std::string_view line) {
  size_t open = line.find('>');
  size_t close = line.rfind("</");
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return {};
  return DecodeEntities(line.substr(open + 1, close - open - 1));
}

ArtistAnswer ParseArtistAnswer(std::string_view body) {
  ArtistAnswer answer;
  std::optional<std::string> pendingUrl;  // the block's address until its album is named
  while (!body.empty()) {
    size_t nl = body.find('\n');
    std::string line = Trim(body.substr(0, nl));
    body = nl == std::string_view::npos ? std::string_view() : body.substr(nl + 1);
    if (line.find("Details url") != std::string::npos) {
      size_t q1 = line.find('"'), q2 = line.rfind('"');
      pendingUrl = q1 != std::string::npos && q2 > q1 ? DecodeEntities(line.substr(q1 + 1, q2 - q1 - 1)) : "";
    } else if (line.find("</Details>") != std::string::npos) {
      pendingUrl.reset();
    } else if (line.find("ProductName") != std::string::npos) {
      ArtistAlbum album;
      album.title = XmlLineValue(line);
      if (pendingUrl) album.detailsUrl = std::move(*pendingUrl);
      pendingUrl.reset();
      answer.albums.push_back(std::move(album));
    } else if (line.find("ReleaseDate") != std::string::npos) {
      if (!answer.albums.empty()) answer.albums.back().releaseDate = XmlLineValue(line);
    } else if (line.find("Manufacturer") != std::string::npos) {
      if (!answer.albums.empty()) answer.albums.back().label = XmlLineValue(line);
    } else if (line.find("TotalPages") != std::string::npos) {
      std::string v = XmlLineValue(line);
      int pages = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), pages);
      if (ec == std::errc() && end == v.data() + v.size() && pages >= 1) answer.totalPages = pages;
    } else if (line.find("ImageUrlMedium") != std::string::npos && answer.imageUrlMedium.empty()) {
      answer.imageUrlMedium = XmlLineValue(line);
    }
  }
  return answer;
}

std::string ArtistQueryUrl(std::string_view artist, int page, std::string_view album) {
  std::string address = SettingString("URL_ArtistInfo", "");
  if (address.empty()) return {};
  while (!address.empty() && address.back() == '/') address.pop_back();
  std::string url = address + "/onca/xml3?t=" + Escape(SettingString("URL_ArtistInfoTag", "")) +
                    "&dev-t=" + Escape(SettingString("URL_ArtistInfoToken", "")) + "&ArtistSearch=" + Escape(artist);
  if (!album.empty()) url += "&keywords=" + Escape(album);
  url += "&mode=music&type=lite&page=" + std::to_string(album.empty() ? page : 1) + "&f=xml";
  return url;
}

HttpAnswer HttpGet(const std::string& url, size_t maxBytes) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  HttpAnswer answer;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(initialised ? curl_easy_init() : nullptr,
                                                          curl_easy_cleanup);
  if (!curl) {
    answer.error = "no HTTP client";
    return answer;
  }
  Body body{&answer.body, maxBytes};
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  CURLcode rc = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  answer.reached = answer.status != 0;
  if (rc != CURLE_OK) answer.error = body.tooLong ? "answer too long" : (error[0] ? error : curl_easy_strerror(rc));
  return answer;
}

std::string FetchAlbumArt(std::string_view artist, std::string_view album) {
  std::string url = ArtistQueryUrl(artist, 1, album);
  if (url.empty()) {
    Inform("The address of the Amazon web service is not set (URL_ArtistInfo).");
    return {};
  }
  HttpAnswer query = HttpGet(url, kMaxAnswerBytes);
  if (!query.reached) {
    Inform("Could not reach the Amazon web service to look up album art.\n\n" + query.error);
    return {};
  }
  std::string image = ParseArtistAnswer(query.body).imageUrlMedium;
  if (image.find("http") == std::string::npos) {
    Inform("Could not find art for this artist and album.");
    return {};
  }
  HttpAnswer picture = HttpGet(image, kMaxPictureBytes);
  if (!picture.reached || !picture.error.empty() || picture.status != 200 || picture.body.empty()) {
    Inform("Could not reach the Amazon web service to get album art.\n\n" +
           (picture.error.empty() ? "HTTP status " + std::to_string(picture.status) : picture.error));
    return {};
  }
  std::string path = GetTempFolder("art") + "amazon.jpg";
  if (!platform::WriteFileAtomically(path, picture.body.data(), picture.body.size()).ok()) {
    Inform("Could not save the album art to " + path + ".");
    return {};
  }
  return path;
}

CArtistInfoDlg::CArtistInfoDlg(std::string artist, ui::WindowHandle parent)
    : Dialog(ui::DialogTemplate{kTemplate,
                                "Albums by Artist",
                                {{1000, ui::ControlKind::Static,
                                  "Double-click an album for details, commentary, track list and song samples from the "
                                  "Amazon web service.  Albums already on your player carry a green check mark."},
                                 {1179, ui::ControlKind::ListView, ""},
                                 {1128, ui::ControlKind::Button, "Prev Page"},
                                 {1250, ui::ControlKind::Static, "1/1"},
                                 {1178, ui::ControlKind::Button, "Next Page"},
                                 {ui::kIdOk, ui::ControlKind::Button, "Close"}},
                                420,
                                300},
             parent),
      artist_(std::move(artist)) {}

bool CArtistInfoDlg::OnInitDialog() {
  SetCaption("Albums by '" + artist_ + "'");
  auto& list = Ctl<ui::ListView>(1179);
  list.InsertColumn(0, "Album Title", 275);
  list.InsertColumn(1, "Release Date", 125);
  list.InsertColumn(2, "", 30);
  list.InsertColumn(3, "Record Label", 125);
  list.SetFullRowSelect(true);
  list.SetMultiSelect(false);
  RunQuery();
  return true;
}

void CArtistInfoDlg::RunQuery() {
  ui::WaitCursor wait;
  auto& list = Ctl<ui::ListView>(1179);
  list.DeleteAllItems();
  albums_.clear();
  std::string url = ArtistQueryUrl(artist_, page_);
  if (url.empty()) {
    Inform("The address of the Amazon web service is not set (URL_ArtistInfo).");
  } else {
    HttpAnswer answer = HttpGet(url, kMaxAnswerBytes);
    if (!answer.reached) {
      Inform("Could not reach the Amazon web service to look up the albums of " + artist_ + ".\n\n" + answer.error);
    } else {
      ArtistAnswer parsed = ParseArtistAnswer(answer.body);
      if (parsed.totalPages) total_ = *parsed.totalPages;
      for (size_t i = 0; i < parsed.albums.size(); ++i) {
        const ArtistAlbum& a = parsed.albums[i];
        bool onPlayer = false;
        try {
          KernelId first;
          onPlayer = TheClient().FindTracks(first, artist_, a.title, "") != 0;
        } catch (const ui::UiScriptError&) {
          throw;
        } catch (const std::exception&) {
          // Shown without the check mark.
        }
        int row = list.InsertItem(list.ItemCount(), a.title);
        list.SetItemImage(row, onPlayer ? kImageOnPlayer : kImageAlbum);
        list.SetItemText(row, 1, a.releaseDate);
        list.SetItemText(row, 2, std::to_string((page_ - 1) * 10 + static_cast<int>(i) + 1));
        list.SetItemText(row, 3, a.label);
        albums_.push_back(a);
      }
    }
  }
  FindControl(1250)->SetText(std::to_string(page_) + "/" + std::to_string(total_));
}

bool CArtistInfoDlg::OnCommand(int id) {
  if (id == 1128) {
    if (page_ > 1) {
      --page_;
      RunQuery();
    }
    return true;
  }
  if (id == 1178) {
    if (page_ < total_) {
      ++page_;
      RunQuery();
    }
    return true;
  }
  return Dialog::OnCommand(id);
}

int64_t CArtistInfoDlg::OnNotify(ui::Control& from, int code, int64_t param) {
  if (from.Id() != 1179 || code != ui::kLvnItemActivate) return 0;
  int row = reinterpret_cast<const ui::ListItemNotice*>(param)->row;
  if (row >= 0 && row < static_cast<int>(albums_.size()) && !albums_[row].detailsUrl.empty())
    OpenWithShell(albums_[row].detailsUrl);
  return 0;
}

}  // namespace hub
