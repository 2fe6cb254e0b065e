// Notes and contacts as files under the player's top text folder. Paths from
// ids are rebuilt from checked components, so no id reaches past the top
// folder, and the top folder is told by its place, not by how it is spelled.
#include "manager/msc/text_items.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/atomic_file.h"
#include "common/text.h"
#include "manager/msc/player_text.h"
#include "manager/msc/vcard.h"

namespace hub {
namespace {

constexpr std::string_view kReservedInNames = "\\/:*?\"<>|";
constexpr uint32_t kKindFolder = 1;
constexpr uint32_t kKindEntry = 0;

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

KernelId MakeId(uint32_t kind, std::string_view name) {
  KernelId id;
  id.key[0] = kind;
  id.SetName(name);
  return id;
}

// At most `limit` bytes of a file; nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& native, size_t limit) {
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[8192];
  while (bytes.size() < limit) {
    ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// Enough of a note to fill the long text even if every line ended in CR LF.
constexpr size_t kNoteReadLimit = 4 * kNoteTextLimit + 4;
constexpr size_t kContactReadLimit = 1 << 20;

// Renames without replacing; 0, 7 when the target exists, 2 otherwise.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return kTextItemDone;
  if (errno == EEXIST) return kTextItemExists;
  if (errno != EINVAL && errno != ENOSYS) return kTextItemFailed;
  // A file system without the flag: a link cannot replace either.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(to, ec))) return kTextItemExists;
  return ::rename(from.c_str(), to.c_str()) == 0 ? kTextItemDone : kTextItemFailed;
}

}  // namespace

std::optional<std::vector<std::string>> TextItemComponents(std::string_view idName, std::string_view topFolder) {
  if (idName.empty() || idName.find('/') != std::string_view::npos || idName.find('\0') != std::string_view::npos)
    return std::nullopt;
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t end = idName.find('\\', start);
    std::string_view part = idName.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || part == "." || part == "..") return std::nullopt;
    parts.emplace_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (!EqualsNoCase(parts.front(), topFolder)) return std::nullopt;
  parts.front() = std::string(topFolder);
  return parts;
}

bool IsSingleItemName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || kReservedInNames.find(c) != std::string_view::npos;
  });
}

MscTextItems::MscTextItems(TextItemKind kind, Resolver resolve, Notice notice)
    : kind_(kind), resolve_(std::move(resolve)), notice_(std::move(notice)) {}

void MscTextItems::SetPlace(std::string root, std::string topFolder) {
  root_ = std::move(root);
  topFolder_ = std::move(topFolder);
  CloseSearch();
}

void MscTextItems::SetPlaceKeepingSearch(const std::string& root, const std::string& topFolder) {
  if (root != root_ || topFolder != topFolder_) SetPlace(root, topFolder);
}

void MscTextItems::CloseSearch() {
  search_.clear();
  searchNext_ = 0;
  searchOpen_ = false;
}

std::optional<MscTextItems::Place> MscTextItems::Resolve(const KernelId& id) const {
  auto parts = TextItemComponents(id.Name(), topFolder_);
  if (!parts) return std::nullopt;
  Place place;
  place.components = std::move(*parts);
  place.top = place.components.size() == 1;
  std::string relative;
  for (const auto& p : place.components) relative += (relative.empty() ? "" : "\\") + p;
  place.playerPath = root_ + relative;
  auto native = resolve_(place.playerPath);
  if (!native) return std::nullopt;
  place.native = std::move(*native);
  return place;
}

std::optional<MscTextItems::Place> MscTextItems::Child(const Place& parent, std::string_view name) const {
  if (!IsSingleItemName(name)) return std::nullopt;
  Place place;
  place.components = parent.components;
  place.components.emplace_back(name);
  place.playerPath = parent.playerPath + "\\" + std::string(name);
  auto native = resolve_(place.playerPath);
  if (!native) return std::nullopt;
  place.native = std::move(*native);
  return place;
}

bool MscTextItems::Listed(std::string_view fileName) const {
  if (kind_ == TextItemKind::Contacts) return EndsWithNoCase(fileName, ".vcf.txt");
  return EndsWithNoCase(fileName, ".txt") && FoldCase(fileName).find(".vcf.txt") == std::string::npos;
}

int MscTextItems::GetRoot(KernelId& root) const {
  root = MakeId(kKindFolder, topFolder_);
  return 1;
}

int MscTextItems::GetFirstChild(const KernelId& folder, KernelId& child) {
  CloseSearch();
  auto place = Resolve(folder);
  if (!place) return 0;
  std::string prefix;
  for (const auto& p : place->components) prefix += p + "\\";
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<std::pair<std::string, uint32_t>> found;
  for (fs::directory_iterator it(place->native, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statError;
    auto status = it->symlink_status(statError);
    std::string name = it->path().filename().string();
    // Every subfolder shows; files only when they match the tree's pattern.
    if (fs::is_directory(status)) found.emplace_back(name, kKindFolder);
    else if (fs::is_regular_file(status) && Listed(name)) found.emplace_back(name, kKindEntry);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return CompareNoCase(a.first, b.first) < 0; });
  for (const auto& [name, kind] : found) {
    std::string path = prefix + name;
    if (path.size() < kKernelIdNameSize) search_.push_back(MakeId(kind, path));  // longer paths cannot travel in an id
  }
  searchOpen_ = true;
  if (search_.empty()) return 0;
  child = search_[0];
  searchNext_ = 1;
  return static_cast<int>(search_.size());
}

int MscTextItems::GetNextChild(KernelId& child) {
  if (!searchOpen_ || searchNext_ >= search_.size()) {
    CloseSearch();
    return 0;
  }
  child = search_[searchNext_++];
  return 1;
}

std::string MscTextItems::ItemName(const KernelId& id) const {
  std::string_view name = id.Name();
  auto slash = name.find_last_of('\\');
  std::string last(slash == std::string_view::npos ? name : name.substr(slash + 1));
  if (kind_ == TextItemKind::Contacts && id.key[0] == kKindEntry && EndsWithNoCase(last, ".vcf.txt"))
    last.resize(last.size() - 8);
  return last;
}

// The place of a new file named by the client inside a folder it names: one
// component, never "." or "..", resolved inside the top folder.
std::optional<MscTextItems::Place> MscTextItems::NewFile(const KernelId& folder, std::string_view name,
                                                         std::string_view suffix) const {
  auto parent = Resolve(folder);
  if (!parent || !IsSingleItemName(name)) return std::nullopt;
  return Child(*parent, std::string(name) + std::string(suffix));
}

int MscTextItems::CreateNote(std::string_view name, const KernelId& folder, KernelId& newId) {
  CloseSearch();
  auto file = NewFile(folder, name, ".txt");
  if (!file) return kTextItemFailed;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file->native).parent_path(), ec);
  int fd = ::open(file->native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? kTextItemExists : kTextItemFailed;
  ::close(fd);
  newId = MakeId(kKindEntry, file->playerPath.substr(root_.size()));
  return kTextItemDone;
}

int MscTextItems::CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder,
                                KernelId& newId) {
  CloseSearch();
  auto file = NewFile(folder, name, ".vcf.txt");
  if (!file) return kTextItemFailed;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(file->native, ec))) return kTextItemExists;
  // As for notes: a player that has never held a contact has no folder for them yet.
  std::filesystem::create_directories(std::filesystem::path(file->native).parent_path(), ec);
  KernelId id = MakeId(kKindEntry, file->playerPath.substr(root_.size()));
  int result = WriteContact(id, contact);
  if (result == kTextItemDone) newId = id;
  return result;
}

int MscTextItems::CreateFolder(std::string_view name, const KernelId& parent, KernelId& newId) {
  CloseSearch();
  auto place = Resolve(parent);
  if (!place) return kTextItemFailed;
  auto folder = Child(*place, name);
  if (!folder) return kTextItemFailed;
  std::error_code ec;
  std::filesystem::create_directories(folder->native, ec);
  if (!std::filesystem::is_directory(folder->native, ec)) return kTextItemFailed;
  newId = MakeId(kKindFolder, folder->playerPath.substr(root_.size()));
  return kTextItemDone;
}

int MscTextItems::DeleteEntry(const KernelId& id) { return RemovePlace(id, ::unlink); }

int MscTextItems::DeleteFolder(const KernelId& id) { return RemovePlace(id, ::rmdir); }

// The top folder is never removed: the client is told so and the request succeeds.
int MscTextItems::RemovePlace(const KernelId& id, int (*remove)(const char*)) {
  CloseSearch();
  auto place = Resolve(id);
  if (!place) return kTextItemFailed;
  if (place->top) {
    notice_(kTopFolderNotice);
    return kTextItemDone;
  }
  return remove(place->native.c_str()) == 0 ? kTextItemDone : kTextItemFailed;
}

int MscTextItems::Rename(const KernelId& id, std::string_view name) {
  CloseSearch();
  auto place = Resolve(id);
  if (!place) return kTextItemFailed;
  if (place->top) {
    notice_(kTopFolderRenameNotice);
    return kTextItemFailed;
  }
  if (!IsSingleItemName(name)) return kTextItemFailed;
  std::string newName(name);
  if (kind_ == TextItemKind::Contacts && id.key[0] == kKindEntry) newName += ".vcf.txt";
  Place parent = *place;
  parent.components.pop_back();
  parent.playerPath = parent.playerPath.substr(0, parent.playerPath.find_last_of('\\'));
  auto target = Child(parent, newName);
  if (!target) return kTextItemFailed;
  return RenameNoReplace(place->native, target->native);
}

std::string MscTextItems::ReadNote(const KernelId& id) {
  auto place = Resolve(id);
  if (!place) return {};
  auto bytes = ReadFileBytes(place->native, kNoteReadLimit);
  if (!bytes) return {};
  std::string text = WithoutCrLf(PlayerTextCodec().FromPlayer(*bytes));
  if (!text.empty() && text.back() != '\n') text += '\n';
  if (text.size() > kNoteTextLimit) {
    text.resize(Utf8CutLength(text, kNoteTextLimit));
    notice_(kNoteCutNotice);
  }
  return text;
}

int MscTextItems::WriteNote(const KernelId& id, std::string_view text) {
  auto place = Resolve(id);
  if (!place || place->top) return kTextItemFailed;
  std::string bytes = WithCrLf(PlayerTextCodec().ToPlayer(WithoutCrLf(text)));
  return WriteFileAtomically(place->native, bytes) ? kTextItemDone : kTextItemFailed;
}

int MscTextItems::ReadContact(const KernelId& id, KernelContact& contact) {
  contact.Clear();
  auto place = Resolve(id);
  if (!place) return kTextItemDone;
  auto bytes = ReadFileBytes(place->native, kContactReadLimit);
  if (bytes) ReadVCardText(PlayerTextCodec().FromPlayer(*bytes), contact);
  return kTextItemDone;
}

int MscTextItems::WriteContact(const KernelId& id, const KernelContact& contact) {
  auto place = Resolve(id);
  if (!place || place->top) return kTextItemFailed;
  std::string bytes = WithCrLf(PlayerTextCodec().ToPlayer(VCardText(contact)));
  return WriteFileAtomically(place->native, bytes) ? kTextItemDone : kTextItemFailed;
}

}  // namespace hub
