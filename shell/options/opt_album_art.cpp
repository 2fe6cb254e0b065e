#include "shell/options/opt_album_art.h"

#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/ui/controls.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"

namespace hub {
namespace ui = platform::ui;
using K = ui::ControlKind;

OptAlbumArt::OptAlbumArt()
    : OptionPage(ui::DialogTemplate{6007,
                                    "Album Art",
                                    {{1272, K::CheckBox, "Enable album art support for iPod Photo."},
                                     {1278, K::Edit, ""}, {1274, K::Progress, ""},
                                     {1273, K::Button, "Scan Existing Tracks"}, {1276, K::Button, "Rebuild Database"},
                                     {1275, K::Static, ""}},
                                    300,
                                    200},
                 {CheckSetting("JB_EnableAlbumArt", 0, 1272), TextSetting("JB_AlbumArtFilename", "cover.jpg", 1278)}) {}

std::string OptAlbumArt::ScanMessage(int withArt, int withoutArt) {
  std::string text = "Scan complete.  " + std::string(withoutArt == 0 ? "All " : "") + std::to_string(withArt) +
                     " track" + (withArt == 1 ? "" : "s") + " " + (withArt == 1 ? "has" : "have") + " embedded art.";
  if (withoutArt > 0) text += "\nSee the Search folder for the " + std::to_string(withoutArt) + " without art.";
  return text;
}

void OptAlbumArt::EnableButtons(bool on) {
  FindControl(1273)->Enable(on);
  FindControl(1276)->Enable(on);
}

bool OptAlbumArt::Scan() {
  // The stored switch, not the box: ticking it takes effect with OK.
  if (SettingDword("JB_EnableAlbumArt", 0) == 0) {
    ShowMessage("Please enable album art support before running this function.", ui::kMbIconInformation);
    return false;
  }
  SetSearchResults({});
  EnableButtons(false);
  KernelDevice& d = TheClient();
  auto& bar = Ctl<ui::Progress>(1274);
  std::vector<KernelId> without;
  int with = 0;
  try {
    KernelId id;
    int count = d.GetFirstTrack(id);
    bar.SetRange(0, count);
    bar.SetPos(0);
    bar.SetStep(1);
    if (count > 0) {
      do {
        _AUDIODATA r;
        d.GetTrackInfo(id, r);
        char status[1200];
        std::snprintf(status, sizeof status, "%s - %s - %02d - %s", r.artist.str().c_str(), r.album.str().c_str(),
                      static_cast<int>(r.trackNumber), r.title.str().c_str());
        FindControl(1275)->SetText(status);
        bar.StepIt();
        PumpMessages();
        if (d.SetTrackArtworkState(id, 0)) ++with;
        else without.push_back(id);
      } while (d.GetNextTrack(id));
    }
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    EnableButtons(true);
    ReportClientException("The scan stopped.", e);
    return true;
  }
  EnableButtons(true);
  int missing = static_cast<int>(without.size());
  SetSearchResults(std::move(without));
  ShowMessage(ScanMessage(with, missing), ui::kMbIconInformation);
  FindControl(1275)->SetText("");
  return true;
}

bool OptAlbumArt::OnCommand(int id) {
  if (id == 1273) {
    Scan();
    return true;
  }
  if (id == 1276) {
    if (SettingDword("JB_EnableAlbumArt", 0) == 0) {
      ShowMessage("Please enable album art support before running this function.", ui::kMbIconInformation);
      return true;
    }
    FindControl(1275)->SetText("Removing old artwork database...");
    PumpMessages();
    try {
      TheClient().ClearArtworkDatabase();
      if (Scan()) TheClient().SaveDatabase();
    } catch (const ui::UiScriptError&) {
      throw;
    } catch (const std::exception& e) {
      ReportClientException("The artwork database could not be rebuilt.", e);
    }
    return true;
  }
  return OptionPage::OnCommand(id);
}

}  // namespace hub
