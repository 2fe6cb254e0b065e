#include "shell/options/options_sheet.h"

#include <memory>

#include "common/product_profile.h"
#include "common/ui/tree_prop_sheet.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/the_client.h"
#include "shell/options/option_pages.h"
#include "shell/options/opt_album_art.h"
#include "shell/options/opt_jukebox_synchro.h"
#include "shell/options/opt_pipecast.h"
#include "shell/options/opt_sonvert.h"

namespace hub {
namespace ui = platform::ui;
namespace {

bool AskDevice(int (KernelDevice::*question)()) {
  try {
    return (TheClient().*question)() != 0;
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int OsMajorVersion() { return 5; }

std::vector<std::string> OptionPageSet(const PageSetQuery& q) {
  std::vector<std::string> pages = {"OptGeneral"};
  if (q.deviceNumber == 7) pages.push_back("OptPellmar");
  if (q.deviceNumber == 5) pages.push_back("OptMuvo");
  if (q.deviceNumber == 8) pages.push_back("OptMuvoNX");
  if (q.deviceNumber == 1 && q.keyWord == 0) pages.push_back("OptNomadII");
  if (q.tagSearch) {
    pages.push_back("OptJukebox");
    if (q.product != 9) {
      pages.push_back("OptJukeboxTagHandling");
      pages.push_back("OptJukeboxSynchro");
    }
  }
  if (q.product == 4 && q.osMajor == 5) pages.push_back("OptAlbumArt");
  if (q.product != 9) pages.push_back("OptTransfers");
  if (q.deviceNumber == 10) pages.push_back("OptIHP");
  if (q.deviceNumber == 12 || (q.deviceNumber == 11 && q.keyWord == 0)) pages.push_back("OptXclef");
  if (q.product != 9) {
    pages.push_back("OptSonvert");
    pages.push_back("OptTransfersTranscode");
  }
  if (q.copyToComputer && !q.memorySegments) pages.push_back("OptPipecast");
  pages.push_back("OptAbout");
  return pages;
}

void ShowOptionsSheet(ui::WindowHandle owner) {
  const ProductProfile& profile = TheProductProfile();
  PageSetQuery q;
  q.product = profile.productNumber;
  q.deviceNumber = ClientDeviceNumber();
  q.keyWord = ClientOwnId().key[0];
  q.tagSearch = AskDevice(&KernelDevice::SupportsTagSearch);
  q.copyToComputer = AskDevice(&KernelDevice::SupportsCopyToComputer);
  q.memorySegments = AskDevice(&KernelDevice::HasMemorySegments);
  q.osMajor = OsMajorVersion();

  std::vector<std::unique_ptr<ui::PropertyPage>> pages;
  const std::string& label = profile.deviceLabel;
  for (const std::string& name : OptionPageSet(q)) {
    std::unique_ptr<ui::PropertyPage> page;
    if (name == "OptGeneral") page = std::make_unique<OptGeneral>();
    else if (name == "OptPellmar") page = std::make_unique<OptPellmar>();
    else if (name == "OptMuvo") page = std::make_unique<OptMuvo>();
    else if (name == "OptMuvoNX") page = std::make_unique<OptMuvoNX>();
    else if (name == "OptNomadII") page = std::make_unique<OptNomadII>();
    else if (name == "OptJukebox") {
      page = std::make_unique<OptJukebox>();
      page->SetTabCaption(label == "Pellmar" ? "Display and Playlists" : label);
    } else if (name == "OptJukeboxTagHandling") {
      page = std::make_unique<OptJukeboxTagHandling>();
      page->SetTabCaption(label + "::Tag Handling");
    } else if (name == "OptJukeboxSynchro") {
      page = std::make_unique<OptJukeboxSynchro>();
      page->SetTabCaption(label + "::Velomatch");
    } else if (name == "OptAlbumArt") {
      page = std::make_unique<OptAlbumArt>();
      page->SetTabCaption(label + "::Album Art");
    } else if (name == "OptTransfers") page = std::make_unique<OptTransfers>();
    else if (name == "OptIHP") page = std::make_unique<OptIHP>();
    else if (name == "OptXclef") page = std::make_unique<OptXclef>();
    else if (name == "OptSonvert") page = std::make_unique<OptSonvert>();
    else if (name == "OptTransfersTranscode") page = std::make_unique<OptTransfersTranscode>();
    else if (name == "OptPipecast") page = std::make_unique<OptPipecast>();
    else if (name == "OptAbout") page = std::make_unique<OptAbout>();
    if (page) pages.push_back(std::move(page));
  }
  TreePropSheet::CTreePropSheet sheet(profile.explorerName + " Options", owner);
  sheet.SetTreeMode(true, true, false);
  sheet.SetFlags(sheet.Flags() | ui::kPshNoApplyNow);
  for (auto& page : pages) sheet.AddPage(page.get());
  sheet.DoModal();
}

void ShowPipecastSheet(ui::WindowHandle owner) {
  OptPipecast page;
  ui::PropertySheet sheet(TheProductProfile().explorerName + " Options", owner);
  sheet.SetFlags(sheet.Flags() | ui::kPshNoApplyNow);
  sheet.AddPage(&page);
  sheet.DoModal();
}

}  // namespace hub
