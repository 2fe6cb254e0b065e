// The contact and note editors.
#include <gtest/gtest.h>

#include "platform/ui/driver.h"
#include "shell/options/contact_note_dialogs.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

TEST(ContactEditor, EditsItsFieldsAndKeepsTheOthers) {
  ui::ScopedUiDriver<> ui;
  KernelContact contact;
  contact.field[0].Set("Ada");
  contact.field[2].Set("Countess");  // nickname: no control
  contact.field[5].Set("PO Box 12");
  contact.field[12].Set("PO Box 99");
  contact.field[25].Set("ada@example.org");
  {
    EditContactDialog dlg(contact);
    ui->Push({UiAction::Set(1218, "Lovelace"), UiAction::Set(1214, "changed"), UiAction::Press(ui::kIdCancel)});
    EXPECT_EQ(dlg.DoModal(), ui::kIdCancel);
    EXPECT_EQ(contact.field[25].str(), "ada@example.org");
    EXPECT_EQ(contact.field[1].str(), "");
  }
  EditContactDialog dlg(contact);
  ui->Push({UiAction::Set(1218, "Lovelace"), UiAction::Set(1219, "555 0101"),
            UiAction::Set(1216, std::string(300, 'n')), UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(contact.field[1].str(), "Lovelace");
  EXPECT_EQ(contact.field[21].str(), "555 0101");
  EXPECT_EQ(contact.field[26].str().size(), 260u);
  EXPECT_EQ(contact.field[5].str(), "PO Box 12");
  EXPECT_EQ(contact.field[12].str(), "PO Box 99");
  EXPECT_EQ(contact.field[2].str(), "Countess");
  EXPECT_EQ(contact.field[0].str(), "Ada");
}

TEST(NoteEditor, KeepsLineBreaksAndCutsOnACharacter) {
  ui::ScopedUiDriver<> ui;
  EditNoteDialog dlg;
  dlg.text = "first";
  ui->Push({UiAction::Set(1008, "line one\r\nline two\r\n\r\nend"), UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(dlg.DoModal(), ui::kIdOk);
  EXPECT_EQ(dlg.text, "line one\r\nline two\r\n\r\nend");

  struct Case {
    std::string in;
    size_t max;
    std::string out;
  } cases[] = {{"abc", 3, "abc"}, {"abcd", 3, "abc"}, {"ab\xC3\xA9", 3, "ab"}, {"\xE2\x82\xAC" "x", 2, ""}};
  for (const Case& c : cases) EXPECT_EQ(CutUtf8(c.in, c.max), c.out);
  EditNoteDialog longNote;
  ui->Push({UiAction::Set(1008, std::string(4098, 'x') + "\xC3\xA9"), UiAction::Press(ui::kIdOk)});
  EXPECT_EQ(longNote.DoModal(), ui::kIdOk);
  EXPECT_EQ(longNote.text.size(), 4098u);
}

}  // namespace
}  // namespace hub
