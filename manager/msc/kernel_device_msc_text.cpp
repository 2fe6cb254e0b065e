// Notes and contacts of a mass-storage player: the requests, under the
// device's lock, handed to the two text trees under the family's folders.
#include "manager/msc/kernel_device_msc_base.h"

namespace hub {

MscTextItems& KernelDeviceMSCBase::Notes() {
  notes_.SetPlaceKeepingSearch(root_, family_.notesFolder);
  return notes_;
}

MscTextItems& KernelDeviceMSCBase::Contacts() {
  contacts_.SetPlaceKeepingSearch(root_, family_.contactsFolder);
  return contacts_;
}

int KernelDeviceMSCBase::GetNotesRoot(KernelId& root) {
  auto lock = Lock();
  return Notes().GetRoot(root);
}

int KernelDeviceMSCBase::GetFirstNoteChild(const KernelId& folder, KernelId& child) {
  auto lock = Lock();
  int count = Notes().GetFirstChild(folder, child);
  noteSearch_ = count > 0 ? 1 : -1;
  return count;
}

int KernelDeviceMSCBase::GetNextNoteChild(const KernelId&, KernelId& child) {
  auto lock = Lock();
  if (noteSearch_ < 0) return 0;
  int more = Notes().GetNextChild(child);
  if (!more) noteSearch_ = -1;
  return more;
}

std::string KernelDeviceMSCBase::GetNoteItemName(const KernelId& id) { return notes_.ItemName(id); }
int KernelDeviceMSCBase::GetNoteItemKind(const KernelId& id) { return notes_.ItemKind(id); }

int KernelDeviceMSCBase::CreateNote(std::string_view name, const KernelId& folder, KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  noteSearch_ = -1;
  return Notes().CreateNote(name, folder, newId);
}

int KernelDeviceMSCBase::DeleteNote(const KernelId& id) {
  auto lock = Lock();
  RequireConnected();
  noteSearch_ = -1;
  return Notes().DeleteEntry(id);
}

int KernelDeviceMSCBase::RenameNoteItem(const KernelId& id, std::string_view name) {
  auto lock = Lock();
  RequireConnected();
  noteSearch_ = -1;
  return Notes().Rename(id, name);
}

int KernelDeviceMSCBase::CreateNoteFolder(std::string_view name, const KernelId& parent, KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  noteSearch_ = -1;
  return Notes().CreateFolder(name, parent, newId);
}

int KernelDeviceMSCBase::DeleteNoteFolder(const KernelId& id) {
  auto lock = Lock();
  RequireConnected();
  noteSearch_ = -1;
  return Notes().DeleteFolder(id);
}

std::string KernelDeviceMSCBase::ReadNote(const KernelId& id) {
  auto lock = Lock();
  return Notes().ReadNote(id);
}

int KernelDeviceMSCBase::WriteNote(const KernelId& id, std::string_view text) {
  auto lock = Lock();
  RequireConnected();
  return Notes().WriteNote(id, text);
}

int KernelDeviceMSCBase::GetContactsRoot(KernelId& root) {
  auto lock = Lock();
  return Contacts().GetRoot(root);
}

int KernelDeviceMSCBase::GetFirstContactChild(const KernelId& folder, KernelId& child) {
  auto lock = Lock();
  int count = Contacts().GetFirstChild(folder, child);
  contactSearch_ = count > 0 ? 1 : -1;
  return count;
}

int KernelDeviceMSCBase::GetNextContactChild(const KernelId&, KernelId& child) {
  auto lock = Lock();
  if (contactSearch_ < 0) return 0;
  int more = Contacts().GetNextChild(child);
  if (!more) contactSearch_ = -1;
  return more;
}

std::string KernelDeviceMSCBase::GetContactItemName(const KernelId& id) { return contacts_.ItemName(id); }
int KernelDeviceMSCBase::GetContactItemKind(const KernelId& id) { return contacts_.ItemKind(id); }

int KernelDeviceMSCBase::CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder,
                                       KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().CreateContact(name, contact, folder, newId);
}

int KernelDeviceMSCBase::DeleteContact(const KernelId& id) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().DeleteEntry(id);
}

int KernelDeviceMSCBase::RenameContactItem(const KernelId& id, std::string_view name) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().Rename(id, name);
}

int KernelDeviceMSCBase::CreateContactFolder(std::string_view name, const KernelId& parent, KernelId& newId) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().CreateFolder(name, parent, newId);
}

int KernelDeviceMSCBase::DeleteContactFolder(const KernelId& id) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().DeleteFolder(id);
}

int KernelDeviceMSCBase::ReadContact(const KernelId& id, KernelContact& contact) {
  auto lock = Lock();
  return Contacts().ReadContact(id, contact);
}

int KernelDeviceMSCBase::WriteContact(const KernelId& id, const KernelContact& contact) {
  auto lock = Lock();
  RequireConnected();
  return Contacts().WriteContact(id, contact);
}

}  // namespace hub
