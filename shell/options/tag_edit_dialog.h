// "Edit Track Information": the tag editor over one or more tracks. Each
// field has a check box; only checked fields are written back by the caller.
// The largest layout shows the album's art, loaded on a worker thread.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/media/bitmap.h"
#include "platform/ui/ui_window.h"

namespace hub {

class TagEditDlg : public platform::ui::Dialog {
 public:
  // Layouts.
  static constexpr int kBasic = 528;     // title, artist, album, track, genre, comment, year
  static constexpr int kExtended = 6003; // + composer, BPM, rating
  static constexpr int kFull = 529;      // + volume adjustment, play count
  static constexpr int kArt = 530;       // + album art
  // The fields, in the order of their check boxes.
  enum Field { kArtist, kAlbum, kTrack, kTitle, kYear, kGenre, kComment, kComposer, kBpm, kVolume, kRating, kFieldCount };
  static constexpr std::array<int, kFieldCount> kCheckIds = {1109, 1110, 1111, 1153, 1114, 1112,
                                                             1113, 1116, 1115, 1118, 1117};
  // The art worker gives up being waited for after this long.
  static constexpr int kArtWaitMs = 10000;

  TagEditDlg(int templateId, const std::array<int, kFieldCount>& enabled, platform::ui::WindowHandle parent = 0);
  ~TagEditDlg() override;

  std::array<int, kFieldCount> enabled{};
  std::string album, artist, comment, genre, title, composer;
  int year = 0, trackNumber = 0, bpm = 0;
  int volume = 0;  // -255..255
  int rating = 0;  // 0..100 in steps of 20
  int playCount = 0;
  // Set by the caller for the art: every track an MP3 file, all of one album, art on the player.
  bool allMp3 = false;
  bool oneAlbum = false;
  bool artOnPlayer = false;
  std::string artTrackPath;
  // The image the person chose for the album (empty: none).
  std::string chosenImage;
  // What the worker runs to find the track's art (the album-art finder by default).
  std::function<std::shared_ptr<const platform::media::Bitmap>(const std::string& trackPath)> loadArt;
  // How long the dialog waits for the art worker (tests shorten it).
  int artWaitMs = kArtWaitMs;

  bool Ready() const { return ready_; }
  // Shows the image and remembers it for the caller to embed; refuses what cannot be embedded.
  void SetArtFromFile(const std::string& imagePath);
  // The art button: the web service's picture of the artist's album.
  void FetchArtFromWeb();

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  bool OnCommand(int id) override;
  void OnOK() override;
  void OnCancel() override;
  void OnTimer(int id) override;
  void OnDropFiles(const std::vector<std::string>& paths) override;
  void OnDestroy() override;

 private:
  bool Has(int id) const { return FindControl(id) != nullptr; }
  void ApplyStates();
  void ShowArt(std::shared_ptr<const platform::media::Bitmap> art);
  void ArtLoaded(std::shared_ptr<const platform::media::Bitmap> art);
  void SetReady();

  bool ready_ = false;
  std::shared_ptr<const platform::media::Bitmap> shown_;
  std::thread worker_;
  std::shared_ptr<std::atomic<bool>> workerDone_;
};

}  // namespace hub
