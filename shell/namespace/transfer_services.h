// What the namespace calls in the transfer engine, one entry per service.
// The engine depends on the namespace, not the reverse: shell/transfer fills
// these entries at start-up with InstallTransferServices. An entry nobody
// installed says in a message box that it is not in this build and does
// nothing else.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "platform/shell/item_id_list.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

struct TransferServices {
  // The send-to entry: the launcher's argument text and the name the product
  // is selected from; runs the whole transfer, reports in message boxes.
  std::function<void(std::string_view arguments, std::string_view name)> DoHubshell;
  // The one transfer dialog of the process, made when the library loads and
  // dropped at unload (null when there is none).
  std::function<std::shared_ptr<void>()> CreateTransferDialog;
  // Stores the path, size and file type in the record and fills what the
  // type's reader finds; an unreadable file leaves the texts as they were.
  std::function<void(std::string_view path, _AUDIODATA& record)> ReadTrackInfoFromFile;
  // Removes leading and trailing blanks from every text of the record.
  std::function<void(_AUDIODATA& record)> TrimTrackTexts;
  // Fills an empty artist, album and title from the path's folder and file names.
  std::function<void(std::string_view path, _AUDIODATA& record)> TagsFromPath;
  // The engine's tag reader (what ReadTagTimed runs on its worker): non-zero
  // when the file had tags.
  std::function<int(std::string_view path, _AUDIODATA& record)> ReadTrackTags;
  // Pastes the files on the clipboard into the device folder `folder`.
  std::function<void(LPCITEMIDLIST folder)> PasteToDevice;
  // "Copy to Computer...": asks for a folder and copies the selection there.
  std::function<void(LPCITEMIDLIST folder, const CPidlList& selection)> TransferToPc;
  // Copies the items into `target` and appends the path of every copy to `copies`.
  std::function<void(LPCITEMIDLIST folder, const CPidlList& items, std::string_view target,
                     std::vector<std::string>& copies)>
      StageTransferToPc;
  // Writes the staging file for `target` and starts the send-to launcher:
  // "_txman.dat" (StageTransferToDevice) or "_txdat.dat" for a data folder
  // (StageDropToDevice).
  std::function<void(const KernelId& target, const std::vector<std::string>& paths)> StageTransferToDevice;
  std::function<void(const KernelId& target, const std::vector<std::string>& paths)> StageDropToDevice;
  // The modal rule editor of one rule-based list (its name starts with
  // SonvertListPrefix(), shell/namespace/playlist_commands.h).
  std::function<void(const KernelId& playlist)> SonvertListEditDialog;
};

// The installed entries (each unset one answers "not in this build").
const TransferServices& GetTransferServices();
// Replaces every entry that `services` sets; the others keep what they had.
void InstallTransferServices(const TransferServices& services);

// The value in the product key that lists the last transfer to a device:
// "Vad_Tx_LastTransfer" + the eight-digit hash of the device id. Its bytes are
// the u32 first key words of the transferred tracks.
inline constexpr std::string_view kLastTransferValuePrefix = "Vad_Tx_LastTransfer";
std::string LastTransferValueName(std::string_view deviceId);
// The folder lists at most this many bytes of the value.
inline constexpr size_t kLastTransferMaxBytes = 4096;

}  // namespace hub
