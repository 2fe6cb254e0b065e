// FLAC through the metadata chain of the libFLAC that the shared value
// "libFLAC.dll" names, loaded once and kept; no libFLAC is linked.
#include <FLAC/metadata.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/transfer/metadata/library_handle.h"
#include "shell/transfer/metadata/track_info.h"
#include "shell/transfer/metadata/vorbis_comments.h"

namespace hub::metadata {
namespace {

struct FlacApi {
  decltype(&FLAC__metadata_chain_new) chainNew;
  decltype(&FLAC__metadata_chain_read_with_callbacks) chainRead;
  decltype(&FLAC__metadata_chain_delete) chainDelete;
  decltype(&FLAC__metadata_iterator_new) iteratorNew;
  decltype(&FLAC__metadata_iterator_init) iteratorInit;
  decltype(&FLAC__metadata_iterator_get_block) iteratorGetBlock;
  decltype(&FLAC__metadata_iterator_next) iteratorNext;
  decltype(&FLAC__metadata_iterator_delete) iteratorDelete;
  decltype(&FLAC__metadata_object_vorbiscomment_find_entry_from) findEntryFrom;
};

bool BindFlac(FlacApi& api) {
  void* library = KeptLibrary(SharedLibraryPath("libFLAC.dll"));
  if (!library) return false;
  auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(KeptSymbol(library, name));
    return fn != nullptr;
  };
  return bind(api.chainNew, "FLAC__metadata_chain_new") &&
         bind(api.chainRead, "FLAC__metadata_chain_read_with_callbacks") &&
         bind(api.chainDelete, "FLAC__metadata_chain_delete") && bind(api.iteratorNew, "FLAC__metadata_iterator_new") &&
         bind(api.iteratorInit, "FLAC__metadata_iterator_init") &&
         bind(api.iteratorGetBlock, "FLAC__metadata_iterator_get_block") &&
         bind(api.iteratorNext, "FLAC__metadata_iterator_next") &&
         bind(api.iteratorDelete, "FLAC__metadata_iterator_delete") &&
         bind(api.findEntryFrom, "FLAC__metadata_object_vorbiscomment_find_entry_from");
}

struct Cursor {
  const ByteSource* source;
  uint64_t pos = 0;
};

size_t ReadCallback(void* ptr, size_t size, size_t nmemb, FLAC__IOHandle handle) {
  auto* c = static_cast<Cursor*>(handle);
  if (size == 0) return 0;
  size_t got = c->source->ReadAt(c->pos, ptr, size * nmemb);
  c->pos += got;
  return got / size;
}

int SeekCallback(FLAC__IOHandle handle, FLAC__int64 offset, int whence) {
  auto* c = static_cast<Cursor*>(handle);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(c->pos) : int64_t(c->source->Size());
  if (base + offset < 0) return -1;
  c->pos = uint64_t(base + offset);
  return 0;
}

FLAC__int64 TellCallback(FLAC__IOHandle handle) { return FLAC__int64(static_cast<Cursor*>(handle)->pos); }

int EofCallback(FLAC__IOHandle handle) {
  auto* c = static_cast<Cursor*>(handle);
  return c->pos >= c->source->Size();
}

// The value of the first comment `key`, cut at 1,023 bytes of the entry.
bool CommentValue(const FlacApi& api, const FLAC__StreamMetadata* block, const char* key, std::string& value) {
  int index = api.findEntryFrom(block, 0, key);
  if (index < 0 || unsigned(index) >= block->data.vorbis_comment.num_comments) return false;
  const FLAC__StreamMetadata_VorbisComment_Entry& entry = block->data.vorbis_comment.comments[index];
  if (!entry.entry) return false;
  size_t length = std::min<size_t>(entry.length, 1023);
  std::string text(reinterpret_cast<const char*>(entry.entry), length);
  text = text.c_str();
  size_t skip = std::strlen(key) + 1;
  if (text.size() < skip) return false;
  value = text.substr(skip);
  return true;
}

}  // namespace

int ReadFlacTags(const ByteSource& source, _AUDIODATA& record) {
  FlacApi api;
  if (!BindFlac(api)) return 0;
  FLAC__Metadata_Chain* chain = api.chainNew();
  if (!chain) return 0;
  Cursor cursor{&source};
  FLAC__IOCallbacks callbacks{ReadCallback, nullptr, SeekCallback, TellCallback, EofCallback, nullptr};
  int result = 0;
  if (api.chainRead(chain, &cursor, callbacks)) {
    if (FLAC__Metadata_Iterator* it = api.iteratorNew()) {
      api.iteratorInit(it, chain);
      do {
        const FLAC__StreamMetadata* block = api.iteratorGetBlock(it);
        if (!block) break;
        if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
          const auto& info = block->data.stream_info;
          // A stream that claims no sample rate has no length rather than a crash.
          const uint64_t seconds = info.sample_rate ? info.total_samples / info.sample_rate : 0;
          record.length = uint32_t(std::min<uint64_t>(seconds, UINT32_MAX));
          record.bitrate = seconds ? uint32_t(std::min<uint64_t>(source.Size() * 8 / seconds / 1000, UINT32_MAX)) : 0;
          record.sampleRate = info.sample_rate;
        } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
          ApplyVorbisComments([&](const char* name, std::string& value) { return CommentValue(api, block, name, value); },
                              record);
        }
      } while (api.iteratorNext(it));
      api.iteratorDelete(it);
      result = 1;
    }
  }
  api.chainDelete(chain);
  return result;
}

}  // namespace hub::metadata
