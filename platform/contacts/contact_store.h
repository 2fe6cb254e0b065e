// The contact source the synchronisation reads, in the shape of a desktop
// address book's object model: application, name space, log-on, folder (the
// default one or one the user picks), its items by 1-based index, and the
// text properties of a contact item. Failures are ContactStoreError. The
// vCard folder store is the one real source; tests put fakes behind it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace hub::platform {

class ContactStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The contact item's text properties, in the order the synchronisation reads them.
enum class ContactProperty {
  FirstName,
  LastName,
  Nickname,
  JobTitle,
  CompanyName,
  HomePostOfficeBox,
  HomeStreet,
  HomeCity,
  HomeState,
  HomePostalCode,
  HomeCountry,
  BusinessPostOfficeBox,
  BusinessStreet,
  BusinessCity,
  BusinessState,
  BusinessPostalCode,
  BusinessCountry,
  HomeTelephone,
  BusinessTelephone,
  MobileTelephone,
  HomeFax,
  BusinessFax,
  BusinessHomePage,
  Email1Address,
};
inline constexpr int kContactPropertyCount = 24;

class ContactItem {
 public:
  virtual ~ContactItem() = default;
  virtual std::string FullName() = 0;
  // Empty when the item has none.
  virtual std::string Property(ContactProperty property) = 0;
};

class ContactItems {
 public:
  virtual ~ContactItems() = default;
  virtual int Count() = 0;
  // Item `index` (1-based) as a contact; null for an item that is not one.
  virtual std::unique_ptr<ContactItem> Item(int index) = 0;
};

class ContactFolder {
 public:
  virtual ~ContactFolder() = default;
  virtual std::string Name() = 0;
  // Null when the items cannot be reached.
  virtual std::unique_ptr<ContactItems> Items() = 0;
};

class ContactNameSpace {
 public:
  virtual ~ContactNameSpace() = default;
  virtual void Logon() = 0;
  // Null when there is none, or the user cancelled the picker.
  virtual std::unique_ptr<ContactFolder> GetDefaultContactsFolder() = 0;
  virtual std::unique_ptr<ContactFolder> PickFolder() = 0;
  virtual void Logoff() = 0;
};

class ContactApplication {
 public:
  virtual ~ContactApplication() = default;
  // "MAPI" is the one name space there is; null for any other.
  virtual std::unique_ptr<ContactNameSpace> GetNamespace(std::string_view name) = 0;
};

struct VCard;
// One card as a contact item: FN (else the name from N), N, NICKNAME, TITLE,
// ORG, ADR by HOME and WORK, TEL by home, work, cell and fax, the first EMAIL,
// the work URL (else the first). Reading a value that could not be decoded throws.
std::unique_ptr<ContactItem> ContactItemFromCard(VCard card);

// A folder of ".vcf" files (sub-folders are other folders): its items are the
// cards of its files in file-name order, then card order within a file; a
// group card or a file holding no card is an item that is not a contact.
// `pick` chooses a folder (starting at `root`), nothing when cancelled.
std::unique_ptr<ContactApplication> OpenVCardFolderStore(
    std::string root, std::function<std::optional<std::string>(const std::string& root)> pick);

}  // namespace hub::platform
