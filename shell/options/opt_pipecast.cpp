#include "shell/options/opt_pipecast.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/fs/whole_file.h"
#include "platform/registry/registry.h"
#include "platform/shell/installed_programs.h"
#include "platform/ui/controls.h"
#include "platform/ui/prompts.h"
#include "platform/window/window.h"

namespace hub {
namespace ui = platform::ui;
using K = ui::ControlKind;
using platform::Hive;
using platform::Registry;

namespace {

const std::string kFileExts = std::string(platform::kFileExtsKey) + ".m3u";
constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp";
constexpr const char* kHostWindowClass = "Winamp v1.x";
constexpr const char* kNoneSelected = "None Selected";

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FileNameOf(std::string_view path) {
  size_t at = path.find_last_of("/\\");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

// The program's display text: its version information's description and
// product version; without them, the file name.
std::string VersionText(const std::string& program) {
  auto info = platform::GetFileVersionInfo(program);
  if (!info || info->description.empty()) return FileNameOf(program);
  return info->productVersion.empty() ? info->description : info->description + " " + info->productVersion;
}

}  // namespace

std::string ProductBaseName() { return "kestro"; }

std::string FirstArgument(std::string_view line) {
  size_t b = line.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  line.remove_prefix(b);
  if (line.front() == '"') {
    size_t close = line.find('"', 1);
    return std::string(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  return std::string(line.substr(0, line.find_first_of(" \t")));
}

std::optional<std::string> PluginFolder() {
  auto v = Registry::Instance().Read(Hive::LocalMachine, kUninstall, "UninstallString");
  if (!v || v->type != platform::ValueType::String) return std::nullopt;
  std::string program = FirstArgument(v->data);
  size_t slash = program.find_last_of('/');
  if (program.empty() || slash == std::string::npos) return std::nullopt;
  return program.substr(0, slash) + "/Plugins/";
}

OptPipecast::OptPipecast()
    : OptionPage(ui::DialogTemplate{563,
                                    "Pipecast",
                                    {{1230, K::ComboBox, ""}, {1232, K::Static, ""},
                                     {1128, K::Button, "Register Application..."}, {1069, K::Slider, ""},
                                     {1155, K::Static, "Winamp 5 Media Library Integration"},
                                     {1150, K::CheckBox, "NOMAD Jukebox 1"}, {1109, K::CheckBox, "NOMAD Jukebox 2"},
                                     {1110, K::CheckBox, "NOMAD Jukebox 3"}, {1111, K::CheckBox, "NOMAD Jukebox Zen"},
                                     {1156, K::Static, "Only for Winamp 5.  This support is still Beta."}},
                                    300,
                                    240},
                 {[] {
                    SettingDef s{"Pip_Compensation", SettingDef::Type::Dword};
                    return s;
                  }(),
                  [] {
                    SettingDef s{"Pip_ExternalPlayer", SettingDef::Type::Dword};
                    return s;
                  }()}) {
  Dword("Pip_Compensation") = std::clamp(Dword("Pip_Compensation"), 0, 20);
  ReadSettingDword("Vad_InstallResult", installResult_);
  auto folder = PluginFolder();
  for (int i = 0; i < 4; ++i) {
    std::string file = folder ? *folder + "ml_" + ProductBaseName() + kPluginFamilies[i].code + ".so" : std::string();
    installed_[i] = folder && ::access(file.c_str(), F_OK) == 0 ? 1 : 0;
  }
}

bool OptPipecast::OnInitDialog() {
  FillApplications();
  return OptionPage::OnInitDialog();
}

void OptPipecast::FillApplications() {
  auto& combo = Ctl<ui::ComboBox>(1230);
  combo.ResetContent();
  textToPath_.clear();
  textToName_.clear();
  nameToText_.clear();
  combo.AddString(kNoneSelected);
  auto enter = [&](const std::string& text, const std::string& path, const std::string& name) {
    combo.AddString(text);
    textToPath_[text] = path;
    textToName_[text] = name;
    nameToText_[name] = text;
  };
  // The desktop's players, as the context menu's "Play in " finds them.
  platform::RegisterInstalledPlayersOnce();
  // The type's default handler, from its icon.
  if (std::string type = platform::ReadClassesString(".m3u", ""); !type.empty())
    if (std::string icon = platform::ReadClassesString(type + "\\DefaultIcon", ""); !icon.empty()) {
      std::string program = platform::ExpandEnvironmentStrings(icon.substr(0, icon.find(',')));
      enter("* Default: " + VersionText(program), program, FileNameOf(program));
    }
  for (const std::string& name : platform::ListClassesSubkeys("Applications")) {
    std::string base = "Applications\\" + name + "\\shell";
    if (!platform::ClassesKeyExists(base + "\\open")) continue;
    std::string program =
        platform::ExpandEnvironmentStrings(FirstArgument(platform::ReadClassesString(base + "\\open\\command", "")));
    if (!IsFile(program)) continue;
    std::string friendly = platform::ReadClassesString(base, "FriendlyCache");
    enter(friendly.empty() ? VersionText(program) : friendly, program, name);
  }
  int select = 0;
  if (std::string chosen = platform::UserChosenApplication(".m3u"); !chosen.empty())
    if (auto it = nameToText_.find(chosen); it != nameToText_.end())
      for (int i = 0; i < combo.Count(); ++i)
        if (combo.ItemText(i).rfind(it->second, 0) == 0) {
          select = i;
          break;
        }
  combo.SetCurSel(select);
}

void OptPipecast::RegisterApplication() {
  ui::FileRequest r;
  r.owner = Handle();
  r.title = "Select a playback application to register...";
  r.filter = "Playback Applications (*.exe)|*.exe||";
  r.defaultExtension = ".exe";
  auto file = ui::ChooseFile(r);
  if (!file) return;
  std::string name = FileNameOf(*file);
  if (platform::ClassesKeyExists("Applications\\" + name + "\\shell\\open")) {
    ShowMessage("The selected application is already registered.", ui::kMbIconInformation);
    return;
  }
  std::string key = "Software\\Classes\\Applications\\" + name + "\\shell\\open\\command";
  Registry& reg = Registry::Instance();
  if (!reg.CreateKey(Hive::CurrentUser, key) ||
      !reg.Write(Hive::CurrentUser, key, "", platform::RegistryValue::String("\"" + *file + "\" \"%1\""))) {
    ShowMessage("The application could not be registered.", ui::kMbIconInformation);
    return;
  }
  FillApplications();
  ShowMessage("The selected application has been registered and added to the list.", ui::kMbIconInformation);
}

void OptPipecast::ShowPluginBoxes() {
  bool integration = (installResult_ & kPluginIntegrationBit) != 0;
  for (int i = 0; i < 4; ++i) {
    auto& box = Ctl<ui::CheckBox>(kPluginFamilies[i].control);
    box.SetCheck(installed_[i]);
    box.Enable((installResult_ & kPluginFamilies[i].bit) != 0);
    box.Show(integration);
  }
  FindControl(1155)->Show(integration);
  FindControl(1156)->Show(integration);
}

void OptPipecast::ExchangeMore(ui::DataExchange& dx) {
  auto& slider = Ctl<ui::Slider>(1069);
  slider.SetRange(0, 20);
  if (dx.Saving()) {
    Dword("Pip_Compensation") = slider.Pos();
    for (int i = 0; i < 4; ++i) installed_[i] = Ctl<ui::CheckBox>(kPluginFamilies[i].control).Check();
  } else {
    slider.SetPos(Dword("Pip_Compensation"));
  }
  ShowPluginBoxes();
}

bool OptPipecast::BeforeWrite() {
  Dword("Pip_ExternalPlayer") = 1068;
  return true;
}

void OptPipecast::WriteMore() {
  ApplyPluginFiles();
  Registry& reg = Registry::Instance();
  reg.CreateKey(Hive::CurrentUser, kFileExts);
  auto& combo = Ctl<ui::ComboBox>(1230);
  if (combo.CurSel() <= 0) {
    reg.DeleteValue(Hive::CurrentUser, kFileExts, "Application");
  } else if (auto it = textToName_.find(combo.ItemText(combo.CurSel())); it != textToName_.end()) {
    reg.Write(Hive::CurrentUser, kFileExts, "Application", platform::RegistryValue::String(it->second));
  }
}

void OptPipecast::ApplyPluginFiles() {
  lastPluginActions.clear();
  if (!(installResult_ & kPluginIntegrationBit) || !boxesChanged_) return;
  if (platform::FindWindowByClass(kHostWindowClass)) return;  // told when the box was clicked
  auto folder = PluginFolder();
  if (!folder) {
    // Without the host's record there is no folder to put the files in.
    lastPluginActions.push_back("no plug-in folder");
    ShowMessage("The media-library plug-in files were not changed: the player program's installation could not be "
                "found.",
                ui::kMbIconInformation);
    return;
  }
  std::string install;
  ReadSettingString("", install);
  std::string source = install + (install.empty() || install.back() == '/' ? "" : "/") + ProductBaseName() + ".so";
  std::vector<std::string> failures;
  for (int i = 0; i < 4; ++i) {
    std::string target = *folder + "ml_" + ProductBaseName() + kPluginFamilies[i].code + ".so";
    if (installed_[i]) {
      if (::access(target.c_str(), F_OK) == 0) continue;  // already there
      lastPluginActions.push_back("copy " + target);
      auto read = platform::ReadWholeFile(source, 256u << 20);
      if (!read.ok()) {
        failures.push_back("copy " + source + ": " + std::strerror(read.error));
        continue;
      }
      auto written = platform::WriteFileAtomically(target, read.bytes.data(), read.bytes.size(), 0755);
      if (!written.ok()) failures.push_back("copy to " + target + ": " + std::strerror(written.error));
    } else {
      if (::unlink(target.c_str()) == 0) lastPluginActions.push_back("delete " + target);
      else if (errno != ENOENT) failures.push_back("delete " + target + ": " + std::strerror(errno));
    }
  }
  if (!failures.empty()) {
    std::string text = "Some media-library plug-in files could not be changed:";
    for (const auto& f : failures) text += "\n" + f;
    ShowMessage(text, ui::kMbIconInformation);
  }
}

bool OptPipecast::OnCommand(int id) {
  for (const auto& family : kPluginFamilies)
    if (id == family.control) {
      boxesChanged_ = true;
      if (platform::FindWindowByClass(kHostWindowClass))
        ShowMessage("Please close Winamp before changing these options.", ui::kMbIconInformation);
      return true;
    }
  if (id == 1128) {
    RegisterApplication();
    return true;
  }
  return OptionPage::OnCommand(id);
}

}  // namespace hub
