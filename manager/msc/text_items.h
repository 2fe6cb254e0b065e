// Notes and contacts on a mass-storage player: files in a folder tree under
// one top folder ("TEXT"), a note "*.txt", a contact "*.vcf.txt" (vCard 2.1).
// Ids carry kind (1 folder, 0 entry) in key word 0 and the path from the root
// in their name. Every id and new name comes from another process, so each
// is resolved inside the top folder or refused.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"

namespace hub {

enum class TextItemKind { Notes, Contacts };

inline constexpr std::string_view kTopFolderNotice = "The top-level folder cannot be deleted.";
// A rename of the top folder fails (2) with this notice; it was never renamed.
inline constexpr std::string_view kTopFolderRenameNotice = "The top-level folder cannot be renamed.";
inline constexpr size_t kNoteTextLimit = 4099;  // the block's long text, without its NUL
inline constexpr std::string_view kNoteCutNotice =
    "This note is longer than 4,099 bytes; only its beginning is shown, and saving it keeps only that part.";

// Results as the requests answer them.
inline constexpr int kTextItemDone = 0;
inline constexpr int kTextItemFailed = 2;
inline constexpr int kTextItemExists = 7;

// The path of an item as the top folder's name followed by clean components:
// nothing when the name is empty, holds "/" or a NUL, names an empty, "." or
// ".." component, or does not start at the top folder (compared as a FAT
// volume does, without case).
std::optional<std::vector<std::string>> TextItemComponents(std::string_view idName, std::string_view topFolder);

// A new name is one component: not empty, not "." or "..", no separator,
// control or reserved character.
bool IsSingleItemName(std::string_view name);

// One tree (notes or contacts) of one player. Not thread-safe: the device
// serialises its requests.
class MscTextItems {
 public:
  // The native path of a player path ("E:\TEXT\a.txt"), or nothing when it
  // cannot be reached (no player, outside the root).
  using Resolver = std::function<std::optional<std::string>(std::string_view playerPath)>;
  using Notice = std::function<void(std::string_view text)>;

  MscTextItems(TextItemKind kind, Resolver resolve, Notice notice);

  // Root in drive form ("E:\") and the top folder's name.
  void SetPlace(std::string root, std::string topFolder);
  // The same, keeping an open search while the place is unchanged.
  void SetPlaceKeepingSearch(const std::string& root, const std::string& topFolder);
  void CloseSearch();

  int GetRoot(KernelId& root) const;
  // The count of children; `child` the first of them.
  int GetFirstChild(const KernelId& folder, KernelId& child);
  // 1 with the next child, or 0 at the end (the search is then closed).
  int GetNextChild(KernelId& child);
  std::string ItemName(const KernelId& id) const;
  int ItemKind(const KernelId& id) const { return static_cast<int>(id.key[0]); }

  int CreateNote(std::string_view name, const KernelId& folder, KernelId& newId);
  int CreateContact(std::string_view name, const KernelContact& contact, const KernelId& folder, KernelId& newId);
  int CreateFolder(std::string_view name, const KernelId& parent, KernelId& newId);
  int DeleteEntry(const KernelId& id);
  int DeleteFolder(const KernelId& id);
  // Never replaces an existing item (7).
  int Rename(const KernelId& id, std::string_view name);

  std::string ReadNote(const KernelId& id);
  int WriteNote(const KernelId& id, std::string_view text);
  int ReadContact(const KernelId& id, KernelContact& contact);
  int WriteContact(const KernelId& id, const KernelContact& contact);

 private:
  int RemovePlace(const KernelId& id, int (*remove)(const char*));
  struct Place {
    std::vector<std::string> components;
    std::string playerPath;  // "E:\TEXT\..."
    std::string native;
    bool top = false;
  };
  std::optional<Place> Resolve(const KernelId& id) const;
  std::optional<Place> Child(const Place& parent, std::string_view name) const;
  std::optional<Place> NewFile(const KernelId& folder, std::string_view name, std::string_view suffix) const;
  std::string EntrySuffix() const { return kind_ == TextItemKind::Contacts ? ".vcf.txt" : ".txt"; }
  bool Listed(std::string_view fileName) const;

  TextItemKind kind_;
  Resolver resolve_;
  Notice notice_;
  std::string root_;
  std::string topFolder_;
  std::vector<KernelId> search_;
  size_t searchNext_ = 0;
  bool searchOpen_ = false;
};

}  // namespace hub
