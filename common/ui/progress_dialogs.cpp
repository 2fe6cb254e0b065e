// The progress window and the name prompt.
#include "common/ui/progress_dialogs.h"

#include "common/shell_routines.h"

namespace hub {

using namespace platform::ui;

CDeleteDialog::CDeleteDialog()
    : Dialog(DialogTemplate{kTemplate,
                            "Deleting...",
                            {{kStatus, ControlKind::Static, "Preparing to delete..."},
                             {kProgress, ControlKind::Progress, ""}},
                            260,
                            70}) {}

CDeleteDialog::~CDeleteDialog() { End(); }

void CDeleteDialog::Begin(std::string_view caption, int count) {
  Create(0);
  SetCaption(caption);
  Progress& bar = Ctl<Progress>(kProgress);
  // The bar is set before the window shows, so the first drawing is already right.
  bar.SetRange(0, count);
  bar.SetStep(1);
  bar.SetPos(0);
  CenterOnScreen();
  SetTopmost(true);
  Show(true);
  PumpMessages();
}

void CDeleteDialog::SetStatus(std::string_view text) {
  if (Control* c = FindControl(kStatus)) c->SetText(text);
}

void CDeleteDialog::Step() {
  if (Progress* bar = Bar()) bar->StepIt();
}

Progress* CDeleteDialog::Bar() const { return Get<Progress>(kProgress); }

void CDeleteDialog::End() {
  if (!Exists()) return;
  Show(false);
  DestroyWindow();
}

CNameDlg::CNameDlg(WindowHandle parent)
    : Dialog(DialogTemplate{kTemplate,
                            "Please provide a name.",
                            {{kNameEdit, ControlKind::Edit, ""},
                             {kIdOk, ControlKind::Button, "OK"},
                             {kIdCancel, ControlKind::Button, "Cancel"}},
                            220,
                            80},
             parent) {}

void CNameDlg::DoDataExchange(DataExchange& dx) { dx.Text(kNameEdit, name); }

}  // namespace hub
