#include "shell/options/tag_edit_dialog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <vector>

#include "common/shell_routines.h"
#include "platform/ui/controls.h"
#include "platform/ui/prompts.h"
#include "platform/ui/pump.h"
#include "shell/options/album_art.h"
#include "shell/options/artist_info.h"

namespace hub {
namespace ui = platform::ui;
namespace {

constexpr int kArtPanel = 1276;
constexpr int kArtButton = 1277;
constexpr int kRatingCombo = 1233;
constexpr int kVolumeSlider = 1235;
constexpr int kPlayCount = 1252;
constexpr int kResetCount = 1253;
constexpr int kArtTimer = 1;
constexpr const char* kRatings[] = {"5 stars", "4 stars", "3 stars", "2 stars", "1 star", "no rating"};
// The edit control of each field (0: none).
constexpr std::array<int, TagEditDlg::kFieldCount> kEditIds = {1007, 1008, 1009, 1013, 1010, 1011, 1012, 1015, 1014, 0, 0};

ui::DialogTemplate Layout(int id) {
  using K = ui::ControlKind;
  std::vector<ui::ControlSpec> c = {
      {1000, K::Static, "Only checked fields will be updated in the selected tracks."},
      {1153, K::CheckBox, "Title"},   {1013, K::Edit, ""}, {1109, K::CheckBox, "Artist"}, {1007, K::Edit, ""},
      {1110, K::CheckBox, "Album"},   {1008, K::Edit, ""}, {1111, K::CheckBox, "Track #"}, {1009, K::Edit, ""},
      {1112, K::CheckBox, "Genre"},   {1011, K::Edit, ""}, {1113, K::CheckBox, "Comment"}, {1012, K::Edit, ""},
      {1114, K::CheckBox, "Year"},    {1010, K::Edit, ""}};
  if (id != TagEditDlg::kBasic) {
    c.insert(c.end(), {{1116, K::CheckBox, "Composer"}, {1015, K::Edit, ""}, {1115, K::CheckBox, "BPM"},
                       {1014, K::Edit, ""}, {1117, K::CheckBox, "Rating"}, {kRatingCombo, K::ComboBox, ""}});
  }
  if (id == TagEditDlg::kFull || id == TagEditDlg::kArt) {
    c.insert(c.end(), {{1118, K::CheckBox, "Volume Adj."}, {kVolumeSlider, K::Slider, ""},
                       {kPlayCount, K::Static, ""}, {kResetCount, K::Button, "Reset Count"}});
  }
  if (id == TagEditDlg::kArt) {
    c.insert(c.end(), {{1275, K::Static, "Album Art"}, {kArtPanel, K::Static, ""},
                       {kArtButton, K::Button, "Get Art from Amazon"}});
  }
  c.insert(c.end(), {{ui::kIdOk, K::Button, "Save"}, {ui::kIdCancel, K::Button, "Cancel"}});
  return {id, "Edit Track Information", std::move(c), 320, 260};
}

// At most `n` characters, cut on a character boundary.
std::string CutChars(std::string s, size_t n) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
    if (chars++ == n) {
      s.resize(i);
      break;
    }
  }
  return s;
}

std::string PlayCountText(int n) { return "Play Count: " + std::to_string(n) + "  "; }

// Worker threads whose dialog closed before they ended (a hung read): joined
// once ended, and at exit, so none is left detached.
class ArtWorkers {
 public:
  static ArtWorkers& Instance() {
    static ArtWorkers workers;
    return workers;
  }
  void Adopt(std::thread t, std::shared_ptr<std::atomic<bool>> done) {
    std::lock_guard lock(mutex_);
    Reap();
    left_.push_back({std::move(t), std::move(done)});
  }
  ~ArtWorkers() {
    for (auto& w : left_) w.thread.join();
  }

 private:
  struct Left {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void Reap() {
    for (auto it = left_.begin(); it != left_.end();) {
      if (*it->done) {
        it->thread.join();
        it = left_.erase(it);
      } else {
        ++it;
      }
    }
  }
  std::mutex mutex_;
  std::vector<Left> left_;
};

}  // namespace

TagEditDlg::TagEditDlg(int templateId, const std::array<int, kFieldCount>& flags, ui::WindowHandle parent)
    : Dialog(Layout(templateId), parent), enabled(flags) {
  loadArt = [](const std::string& path) { return GetArtBitmap(path, 150, 150); };
  ArtWorkers::Instance();  // made before any worker, so it is destroyed after them
}

TagEditDlg::~TagEditDlg() {
  DestroyWindow();
  if (!worker_.joinable()) return;
  if (*workerDone_) worker_.join();
  else ArtWorkers::Instance().Adopt(std::move(worker_), workerDone_);
}

bool TagEditDlg::OnInitDialog() {
  rating = std::clamp(rating, 0, 100);
  volume = std::clamp(volume, -255, 255);
  if (auto* combo = Get<ui::ComboBox>(kRatingCombo)) {
    for (const char* r : kRatings) combo->AddString(r);
    combo->SetCurSel(5 - rating / 20);
  }
  if (auto* slider = Get<ui::Slider>(kVolumeSlider)) {
    slider->SetRange(-255, 255);
    slider->SetPos(volume);
  }
  if (auto* count = FindControl(kPlayCount)) count->SetText(PlayCountText(playCount));
  UpdateData(false);
  if (TemplateId() == kArt) {
    ShowArt(nullptr);
    Ctl<ui::Static>(kArtPanel).SetText("Loading Art...");
    workerDone_ = std::make_shared<std::atomic<bool>>(false);
    // The worker only loads; what it found reaches the controls on the UI thread.
    worker_ = std::thread([load = loadArt, path = artTrackPath, handle = Handle(), done = workerDone_, this] {
      std::shared_ptr<const platform::media::Bitmap> art;
      try {
        art = load(path);
      } catch (const std::exception&) {
      }
      ui::PostUiWork(handle, [this, art] { ArtLoaded(art); });
      *done = true;
    });
    SetTimer(kArtTimer, artWaitMs);
  } else {
    ready_ = true;
  }
  UpdateData(true);
  return true;
}

void TagEditDlg::ArtLoaded(std::shared_ptr<const platform::media::Bitmap> art) {
  // A picture the person chose meanwhile stays.
  if (chosenImage.empty()) {
    if (art) ShowArt(art);
    else Ctl<ui::Static>(kArtPanel).SetText(artOnPlayer ? "Art present on player." : "Drag Artwork Here.");
  }
  SetReady();
}

void TagEditDlg::SetReady() {
  KillTimer(kArtTimer);
  DragAcceptFiles(true);
  ready_ = true;
}

void TagEditDlg::OnTimer(int id) {
  if (id == kArtTimer) SetReady();
}

void TagEditDlg::ShowArt(std::shared_ptr<const platform::media::Bitmap> art) {
  shown_ = std::move(art);
  if (auto* panel = Get<ui::Static>(kArtPanel)) panel->SetPicture(shown_);
}

void TagEditDlg::DoDataExchange(ui::DataExchange& dx) {
  for (int f = 0; f < kFieldCount; ++f)
    if (Has(kCheckIds[f])) dx.Check(kCheckIds[f], enabled[f]);
  dx.Text(1008, album);
  dx.Text(1007, artist);
  dx.Text(1012, comment);
  dx.Text(1011, genre);
  dx.Text(1013, title);
  dx.IntRange(1010, year, 0, 9999);
  dx.IntRange(1009, trackNumber, 0, 9999);
  if (Has(1015)) dx.Text(1015, composer);
  if (Has(1014)) dx.IntRange(1014, bpm, 0, 9999);
  if (dx.Saving()) {
    for (std::string* s : {&album, &artist, &comment, &genre, &title, &composer}) *s = CutChars(*s, 255);
    ApplyStates();
  }
}

void TagEditDlg::ApplyStates() {
  for (int f = 0; f < kFieldCount; ++f)
    if (kEditIds[f] && Has(kEditIds[f])) FindControl(kEditIds[f])->Enable(enabled[f] != 0);
  if (auto* combo = Get<ui::ComboBox>(kRatingCombo)) {
    combo->Enable(enabled[kRating] != 0);
    // No selection keeps the rating.
    if (combo->CurSel() >= 0) rating = (5 - combo->CurSel()) * 20;
  }
  if (auto* slider = Get<ui::Slider>(kVolumeSlider)) {
    slider->Enable(enabled[kVolume] != 0);
    volume = slider->Pos();
  }
}

bool TagEditDlg::OnCommand(int id) {
  if (std::find(kCheckIds.begin(), kCheckIds.end(), id) != kCheckIds.end()) {
    UpdateData(true);
    return true;
  }
  if (id == kResetCount) {
    playCount = 0;
    FindControl(kPlayCount)->SetText(PlayCountText(0));
    return true;
  }
  if (id == kArtButton) {
    FetchArtFromWeb();
    return true;
  }
  return Dialog::OnCommand(id);
}

void TagEditDlg::OnOK() {
  if (ready_) Dialog::OnOK();
}

void TagEditDlg::OnCancel() {
  if (ready_) Dialog::OnCancel();
}

void TagEditDlg::OnDestroy() { KillTimer(kArtTimer); }

void TagEditDlg::OnDropFiles(const std::vector<std::string>& paths) {
  if (paths.size() != 1) {
    ShowMessage("Please drag and drop one image file.", ui::kMbIconInformation);
    return;
  }
  SetArtFromFile(paths.front());
}

namespace {

bool RefuseArt(const TagEditDlg& dlg) {
  if (!dlg.allMp3) {
    ShowMessage("Album art insertion is currently only supported for MP3 files.", ui::kMbIconInformation);
    return true;
  }
  if (!dlg.oneAlbum) {
    ShowMessage("You have selected tracks from different albums.  Please select only tracks from a single album to "
                "set artwork.",
                ui::kMbIconInformation);
    return true;
  }
  return false;
}

}  // namespace

void TagEditDlg::SetArtFromFile(const std::string& imagePath) {
  if (RefuseArt(*this)) return;
  size_t dot = imagePath.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : imagePath.substr(dot);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (ext != ".gif" && ext != ".png" && ext != ".jpeg" && ext != ".jpg") {
    ShowMessage("Only GIF, PNG, and JPEG images are supported.", ui::kMbIconInformation);
    return;
  }
  auto art = LoadScaledImage(imagePath, 150, 150);
  if (!art) {
    ShowMessage("The image " + imagePath + " could not be read.", ui::kMbIconInformation);
    return;
  }
  ShowArt(art);
  chosenImage = imagePath;
}

void TagEditDlg::FetchArtFromWeb() {
  if (RefuseArt(*this)) return;
  std::string image;
  {
    ui::WaitCursor wait;
    image = FetchAlbumArt(artist, album);
  }
  if (!image.empty()) SetArtFromFile(image);
}

}  // namespace hub
