// The contact store over a folder of vCard files.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/contacts/contact_store.h"
#include "platform/contacts/vcard_reader.h"

namespace hub::platform {
namespace {

namespace fs = std::filesystem;

// A card file larger than this is not an address book's export.
constexpr uintmax_t kMaxCardFileBytes = 16u << 20;

bool EndsWithVcf(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".vcf";
}

std::string ReadWhole(const fs::path& path) {
  std::error_code ec;
  if (fs::file_size(path, ec) > kMaxCardFileBytes || ec) throw ContactStoreError("cannot read " + path.string());
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ContactStoreError("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t a = s.find_first_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a);
}

class CardItem : public ContactItem {
 public:
  explicit CardItem(VCard card) : card_(std::move(card)) {}

  std::string FullName() override {
    if (const VCardLine* fn = Line("fn")) {
      std::string name = Trim(Text(*fn));
      if (!name.empty()) return name;
    }
    std::vector<std::string> n = Parts("n");
    std::string given = n.size() > 1 ? Trim(n[1]) : "", family = Trim(n[0]);
    return Trim(given + (given.empty() || family.empty() ? "" : " ") + family);
  }

  std::string Property(ContactProperty p) override {
    using P = ContactProperty;
    switch (p) {
      case P::FirstName: return Part("n", 1);
      case P::LastName: return Part("n", 0);
      case P::Nickname: return Plain("nickname");
      case P::JobTitle: return Plain("title");
      case P::CompanyName: return Part("org", 0);
      case P::HomePostOfficeBox: return Address("home", 0);
      case P::HomeStreet: return Address("home", 2);
      case P::HomeCity: return Address("home", 3);
      case P::HomeState: return Address("home", 4);
      case P::HomePostalCode: return Address("home", 5);
      case P::HomeCountry: return Address("home", 6);
      case P::BusinessPostOfficeBox: return Address("work", 0);
      case P::BusinessStreet: return Address("work", 2);
      case P::BusinessCity: return Address("work", 3);
      case P::BusinessState: return Address("work", 4);
      case P::BusinessPostalCode: return Address("work", 5);
      case P::BusinessCountry: return Address("work", 6);
      case P::HomeTelephone: return Telephone("home", false);
      case P::BusinessTelephone: return Telephone("work", false);
      case P::MobileTelephone: return Telephone("cell", false);
      case P::HomeFax: return Telephone("home", true);
      case P::BusinessFax: return Telephone("work", true);
      case P::BusinessHomePage: return HomePage();
      case P::Email1Address: return Plain("email");
    }
    return {};
  }

 private:
  // A line that could not be decoded cannot be read.
  const VCardLine& Checked(const VCardLine& line) {
    if (!line.error.empty()) throw ContactStoreError(line.error);
    return line;
  }
  const VCardLine* Line(std::string_view name) {
    const VCardLine* l = card_.Find(name);
    return l ? &Checked(*l) : nullptr;
  }
  bool Escaped() const { return card_.version != "2.1"; }
  std::string Text(const VCardLine& l) {
    return Escaped() ? UnescapeVCardText(l.value) : l.value;
  }
  std::string Plain(std::string_view name) {
    const VCardLine* l = Line(name);
    return l ? Trim(Text(*l)) : std::string();
  }
  std::vector<std::string> Parts(std::string_view name) {
    const VCardLine* l = Line(name);
    std::vector<std::string> parts = l ? SplitVCardValue(l->value) : std::vector<std::string>();
    parts.resize(std::max<size_t>(parts.size(), 7));
    return parts;
  }
  std::string Part(std::string_view name, size_t i) { return Trim(Parts(name)[i]); }
  std::string Address(std::string_view type, size_t i) {
    for (const VCardLine& l : card_.lines) {
      if (l.name != "adr" || !l.HasType(type)) continue;
      std::vector<std::string> parts = SplitVCardValue(Checked(l).value);
      parts.resize(std::max<size_t>(parts.size(), 7));
      return Trim(parts[i]);
    }
    return {};
  }
  // A number by its kind: home and work voice lines are those without "fax".
  std::string Telephone(std::string_view type, bool fax) {
    for (const VCardLine& l : card_.lines) {
      if (l.name != "tel" || !l.HasType(type) || l.HasType("fax") != fax) continue;
      std::string v = Trim(Text(Checked(l)));
      // 4.0 writes numbers as "tel:" addresses.
      if (v.size() >= 4 && (v.compare(0, 4, "tel:") == 0 || v.compare(0, 4, "TEL:") == 0)) v = v.substr(4);
      return v;
    }
    return {};
  }
  std::string HomePage() {
    for (const VCardLine& l : card_.lines)
      if (l.name == "url" && l.HasType("work")) return Trim(Text(Checked(l)));
    return Plain("url");
  }

  VCard card_;
};

// One item of the folder: a card, or a file or card that is not a contact.
struct Entry {
  fs::path file;
  int card = -1;  // -1: the file holds no card
};

class FolderItems : public ContactItems {
 public:
  explicit FolderItems(std::vector<Entry> entries) : entries_(std::move(entries)) {}
  int Count() override { return static_cast<int>(entries_.size()); }
  std::unique_ptr<ContactItem> Item(int index) override {
    if (index < 1 || index > Count()) throw ContactStoreError("no item " + std::to_string(index));
    const Entry& e = entries_[static_cast<size_t>(index - 1)];
    if (e.card < 0) return nullptr;
    std::vector<VCard> cards = ReadVCards(ReadWhole(e.file));
    if (static_cast<size_t>(e.card) >= cards.size()) throw ContactStoreError("the file changed: " + e.file.string());
    VCard& card = cards[static_cast<size_t>(e.card)];
    if (card.IsGroup()) return nullptr;
    return ContactItemFromCard(std::move(card));
  }

 private:
  std::vector<Entry> entries_;
};

class VCardFolder : public ContactFolder {
 public:
  explicit VCardFolder(fs::path path) : path_(std::move(path)) {}
  std::string Name() override { return path_.filename().string(); }
  std::unique_ptr<ContactItems> Items() override {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) files.push_back(it->path());
    }
    if (ec) return nullptr;
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    std::vector<Entry> entries;
    for (const fs::path& f : files) {
      size_t cards = 0;
      if (EndsWithVcf(f.filename().string())) {
        try {
          cards = ReadVCards(ReadWhole(f)).size();
        } catch (const ContactStoreError&) {
          cards = 0;
        }
      }
      if (cards == 0) entries.push_back({f, -1});
      for (size_t i = 0; i < cards; ++i) entries.push_back({f, static_cast<int>(i)});
    }
    return std::make_unique<FolderItems>(std::move(entries));
  }

 private:
  fs::path path_;
};

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class VCardNameSpace : public ContactNameSpace {
 public:
  VCardNameSpace(std::string root, std::function<std::optional<std::string>(const std::string&)> pick)
      : root_(std::move(root)), pick_(std::move(pick)) {}
  void Logon() override {}
  void Logoff() override {}
  std::unique_ptr<ContactFolder> GetDefaultContactsFolder() override {
    if (!IsFolder(root_)) return nullptr;
    return std::make_unique<VCardFolder>(root_);
  }
  std::unique_ptr<ContactFolder> PickFolder() override {
    std::optional<std::string> chosen = pick_ ? pick_(root_) : std::nullopt;
    if (!chosen || !IsFolder(*chosen)) return nullptr;
    return std::make_unique<VCardFolder>(*chosen);
  }

 private:
  std::string root_;
  std::function<std::optional<std::string>(const std::string&)> pick_;
};

class VCardApplication : public ContactApplication {
 public:
  VCardApplication(std::string root, std::function<std::optional<std::string>(const std::string&)> pick)
      : root_(std::move(root)), pick_(std::move(pick)) {}
  std::unique_ptr<ContactNameSpace> GetNamespace(std::string_view name) override {
    if (name != "MAPI") return nullptr;
    return std::make_unique<VCardNameSpace>(root_, pick_);
  }

 private:
  std::string root_;
  std::function<std::optional<std::string>(const std::string&)> pick_;
};

}  // namespace

std::unique_ptr<ContactItem> ContactItemFromCard(VCard card) { return std::make_unique<CardItem>(std::move(card)); }

std::unique_ptr<ContactApplication> OpenVCardFolderStore(
    std::string root, std::function<std::optional<std::string>(const std::string& root)> pick) {
  if (root.empty()) return nullptr;
  return std::make_unique<VCardApplication>(std::move(root), std::move(pick));
}

}  // namespace hub::platform
