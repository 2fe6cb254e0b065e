#include "shell/options/contact_note_dialogs.h"

#include <vector>

namespace hub {
namespace ui = platform::ui;

const std::pair<int, int> EditContactDialog::kFields[22] = {
    {1217, 0},  {1218, 1},  {1198, 4},  {1197, 3},  {1199, 7},  {1200, 8},  {1201, 9},  {1202, 10},
    {1207, 11}, {1215, 20}, {1210, 23}, {1203, 14}, {1204, 15}, {1205, 16}, {1206, 17}, {1208, 18},
    {1211, 19}, {1212, 22}, {1219, 21}, {1214, 25}, {1213, 24}, {1216, 26}};

std::string CutUtf8(std::string text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

namespace {

ui::DialogTemplate ContactTemplate() {
  std::vector<ui::ControlSpec> c;
  for (const auto& [id, field] : EditContactDialog::kFields) c.push_back({id, ui::ControlKind::Edit, ""});
  c.push_back({ui::kIdOk, ui::ControlKind::Button, "OK"});
  c.push_back({ui::kIdCancel, ui::ControlKind::Button, "Cancel"});
  return {EditContactDialog::kTemplate, "Edit Contact", std::move(c), 360, 300};
}

}  // namespace

EditContactDialog::EditContactDialog(KernelContact& contact, ui::WindowHandle parent)
    : Dialog(ContactTemplate(), parent), contact_(contact) {
  for (size_t i = 0; i < 22; ++i) values[i] = contact.field[kFields[i].second].str();
}

void EditContactDialog::DoDataExchange(ui::DataExchange& dx) {
  for (size_t i = 0; i < 22; ++i) dx.Text(kFields[i].first, values[i]);
}

void EditContactDialog::OnOK() {
  if (!UpdateData(true)) return;
  // Each field keeps whole characters within its 260 bytes.
  for (size_t i = 0; i < 22; ++i) contact_.field[kFields[i].second].Set(values[i]);
  EndDialog(ui::kIdOk);
}

EditNoteDialog::EditNoteDialog(ui::WindowHandle parent)
    : Dialog(ui::DialogTemplate{kTemplate,
                                "Edit Note",
                                {{1008, ui::ControlKind::Edit, ""},
                                 {ui::kIdOk, ui::ControlKind::Button, "OK"},
                                 {ui::kIdCancel, ui::ControlKind::Button, "Cancel"}},
                                320,
                                240},
             parent) {}

void EditNoteDialog::DoDataExchange(ui::DataExchange& dx) {
  dx.Text(1008, text);
  if (dx.Saving()) text = CutUtf8(text, kMaxNoteBytes);
}

}  // namespace hub
