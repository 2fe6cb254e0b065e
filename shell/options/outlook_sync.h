// Replaces the player's contacts with those of the user's address book (a
// folder of vCard files). Everything is read first; the player's contacts are
// deleted and the new ones created only once the whole source was read, so a
// missing store, a cancelled picker or an abort leaves the player as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/records.h"
#include "platform/contacts/contact_store.h"

namespace hub {

struct ContactSyncEnvironment {
  // The address book; null when there is none.
  std::function<std::unique_ptr<platform::ContactApplication>()> openStore;
  // Milliseconds since start (the count line's code).
  std::function<uint32_t()> tick;
};

// The vCard folder of HUB_CONTACTS_DIR, else of the Shared value
// "ContactsFolder"; the picker is the folder chooser.
ContactSyncEnvironment DefaultContactSyncEnvironment();

// flag 0: the default folder; 1: a folder the user picks.
void SyncOutlookContacts(int flag);
void SyncOutlookContacts(int flag, const ContactSyncEnvironment& environment);

// A full name as one player file name: separators, reserved and control
// characters become "_"; "", "." and ".." give "".
std::string ContactFileName(std::string_view fullName);

}  // namespace hub
