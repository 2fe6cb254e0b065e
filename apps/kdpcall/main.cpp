// kdpcall: attaches to the manager as the shell library does and runs one
// device operation, named or numbered, printing its result, notice or error.
// For people at a terminal and for end-to-end tests.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/kdp_request_table.h"
#include "common/product_profile.h"
#include "common/text.h"
#include "shell/client/kdp_operation_catalog.h"
#include "shell/client/kernel_device_client.h"
#include "platform/program_main.h"

namespace {

using hub::KdpArg;
using Kind = hub::KdpArg::Kind;

int Usage() {
  std::fprintf(stderr,
               "usage: kdpcall [options] <operation|opcode> [arguments...]\n"
               "       kdpcall --list\n"
               "options:\n"
               "  --product NAME   module or program name that selects the product (default: irivmgr)\n"
               "  --device N       device number sent with every request (default: 10)\n"
               "  --key A          first key word of the device's id A (default: 0)\n"
               "arguments, one per input of the operation, in order:\n"
               "  number           integer argument or window handle\n"
               "  text             text argument\n"
               "  id               record id (decimal), or k0,k1,k2,k3[,name]\n"
               "  record           track: field=value;... (path artist album title genre comment\n"
               "                   composer track year length bitrate size type); SetTrackInfo reads\n"
               "                   the track's record first and changes only the fields given\n"
               "  contact          contact: field=value;... (first last nickname organisation title\n"
               "                   workphone homephone mobile email web note)\n");
  return 2;
}

struct UsageError {
  std::string text;
};

bool ParseNumber(std::string_view text, long long& out) {
  std::string s(text);
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 0);
  return errno == 0 && end && *end == 0;
}

hub::KernelId ParseId(std::string_view text) {
  hub::KernelId id;
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      start = text.size();
      break;
    }
    parts.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  if (parts.size() == 1) {
    long long n;
    if (!ParseNumber(parts[0], n)) throw UsageError{"not an id: " + std::string(text)};
    id.SetRecordId(static_cast<uint64_t>(n));
    return id;
  }
  if (parts.size() < 4) throw UsageError{"an id needs four key words: " + std::string(text)};
  for (int i = 0; i < 4; ++i) {
    long long n;
    if (!ParseNumber(parts[i], n)) throw UsageError{"not a key word: " + parts[i]};
    id.key[i] = static_cast<uint32_t>(n);
  }
  if (start < text.size()) id.SetName(text.substr(start));
  return id;
}

// field=value pairs separated by ';'.
std::vector<std::pair<std::string, std::string>> ParsePairs(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> items;
  hub::SplitString(items, text, ";");
  for (const std::string& item : items) {
    size_t eq = item.find('=');
    if (eq == std::string::npos) throw UsageError{"expected field=value: " + item};
    pairs.emplace_back(hub::AsciiLower(item.substr(0, eq)), item.substr(eq + 1));
  }
  return pairs;
}

uint32_t ParseUnsigned(const std::string& text) {
  long long n;
  if (!ParseNumber(text, n)) throw UsageError{"not a number: " + text};
  return static_cast<uint32_t>(n);
}

void ParseTrack(std::string_view text, hub::_AUDIODATA& r) {
  for (auto& [field, value] : ParsePairs(text)) {
    if (field == "path") r.path.Set(value);
    else if (field == "artist") r.artist.Set(value);
    else if (field == "album") r.album.Set(value);
    else if (field == "title") r.title.Set(value);
    else if (field == "genre") r.genre.Set(value);
    else if (field == "comment") r.comment.Set(value);
    else if (field == "composer") r.composer.Set(value);
    else if (field == "track") r.trackNumber = ParseUnsigned(value);
    else if (field == "year") r.year = ParseUnsigned(value);
    else if (field == "length") r.length = ParseUnsigned(value);
    else if (field == "bitrate") r.bitrate = ParseUnsigned(value);
    else if (field == "size") r.size = ParseUnsigned(value);
    else if (field == "type") r.fileType = static_cast<uint8_t>(ParseUnsigned(value));
    else throw UsageError{"unknown track field: " + field};
  }
}

struct ContactName {
  const char* name;
  int field;
};
constexpr ContactName kContactNames[] = {
    {"first", hub::kContactFirstName},      {"last", hub::kContactLastName},
    {"nickname", hub::kContactNickname},    {"organisation", hub::kContactOrganisation},
    {"title", hub::kContactJobTitle},       {"workphone", hub::kContactWorkPhone},
    {"homephone", hub::kContactHomePhone},  {"mobile", hub::kContactMobilePhone},
    {"workfax", hub::kContactWorkFax},      {"homefax", hub::kContactHomeFax},
    {"web", hub::kContactWebAddress},       {"email", hub::kContactEmail},
    {"note", hub::kContactNote},
};

void ParseContact(std::string_view text, hub::KernelContact& c) {
  for (auto& [field, value] : ParsePairs(text)) {
    bool known = false;
    for (const ContactName& n : kContactNames) {
      if (field == n.name) {
        c.field[n.field].Set(value);
        known = true;
      }
    }
    if (!known) throw UsageError{"unknown contact field: " + field};
  }
}

void PrintId(const char* label, const hub::KernelId& id) {
  std::printf("%s %u,%u,%u,%u %s\n", label, id.key[0], id.key[1], id.key[2], id.key[3],
              std::string(id.Name()).c_str());
}

void PrintTrack(const hub::_AUDIODATA& r) {
  std::printf("track path=%s\ntrack artist=%s\ntrack album=%s\ntrack title=%s\ntrack genre=%s\n",
              r.path.str().c_str(), r.artist.str().c_str(), r.album.str().c_str(), r.title.str().c_str(),
              r.genre.str().c_str());
  std::printf("track comment=%s\ntrack track=%u\ntrack year=%u\ntrack length=%u\ntrack bitrate=%u\n"
              "track size=%u\ntrack type=%u\n",
              r.comment.str().c_str(), r.trackNumber, r.year, r.length, r.bitrate, r.size, r.fileType);
}

void PrintContact(const hub::KernelContact& c) {
  for (const ContactName& n : kContactNames) {
    if (!c.field[n.field].empty()) std::printf("contact %s=%s\n", n.name, c.field[n.field].str().c_str());
  }
}

// Storage for the values an operation's arguments point at.
struct Values {
  std::vector<hub::KernelId> ids = std::vector<hub::KernelId>(4);
  std::vector<hub::_AUDIODATA> tracks = std::vector<hub::_AUDIODATA>(2);
  std::vector<hub::KernelContact> contacts = std::vector<hub::KernelContact>(2);
  std::vector<hub::KernelTextField> fields = std::vector<hub::KernelTextField>(3);
  std::vector<std::string> texts = std::vector<std::string>(4);
};

int Run(hub::KernelDeviceClient& client, std::string_view what, const std::vector<std::string>& inputs) {
  long long number = 0;
  const hub::KdpOperation* op =
      ParseNumber(what, number) ? hub::FindKdpOperation(static_cast<uint32_t>(number)) : hub::FindKdpOperation(what);
  uint32_t opcode = 0;
  std::vector<Kind> kinds;
  if (op) {
    opcode = op->opcode;
    kinds = op->params;
  } else if (ParseNumber(what, number)) {
    opcode = static_cast<uint32_t>(number);  // a capability or an opcode outside the table: no arguments
  } else {
    const hub::KdpRequestRow* row = nullptr;
    for (const hub::KdpRequestRow& r : hub::KdpRequestTable())
      if (hub::EqualsNoCase(r.operation, what)) row = &r;
    if (!row) throw UsageError{"unknown operation: " + std::string(what)};
    opcode = row->opcode;
  }
  const hub::KdpRequestRow* row = hub::FindKdpRequest(opcode);
  if (row && row->Args().size() != kinds.size()) throw UsageError{"operation takes arguments it cannot be given here"};

  Values v;
  std::vector<KdpArg> args;
  size_t next = 0, idN = 0, trackN = 0, contactN = 0, fieldN = 0, textN = 0;
  auto input = [&]() -> const std::string& {
    if (next >= inputs.size()) throw UsageError{"too few arguments"};
    return inputs[next++];
  };
  for (Kind k : kinds) {
    switch (k) {
      case Kind::Int: {
        long long n;
        const std::string& s = input();
        if (!ParseNumber(s, n)) throw UsageError{"not a number: " + s};
        args.push_back(hub::MakeKdpArg(static_cast<int>(n)));
        break;
      }
      case Kind::Text:
        v.texts[textN] = input();
        args.push_back(hub::MakeKdpArg(std::string_view(v.texts[textN++])));
        break;
      case Kind::IdIn:
        v.ids[idN] = ParseId(input());
        args.push_back(hub::MakeKdpArg(static_cast<const hub::KernelId&>(v.ids[idN++])));
        break;
      case Kind::IdOut: args.push_back(hub::MakeKdpArg(v.ids[idN++])); break;
      case Kind::TrackIn:
        // A record sent whole would clear every field not given.
        if (opcode == hub::kOpcodeSetTrackInfo && idN > 0) client.GetTrackInfo(v.ids[idN - 1], v.tracks[trackN]);
        ParseTrack(input(), v.tracks[trackN]);
        args.push_back(hub::MakeKdpArg(static_cast<const hub::_AUDIODATA&>(v.tracks[trackN++])));
        break;
      case Kind::TrackOut: args.push_back(hub::MakeKdpArg(v.tracks[trackN++])); break;
      case Kind::ContactIn:
        ParseContact(input(), v.contacts[contactN]);
        args.push_back(hub::MakeKdpArg(static_cast<const hub::KernelContact&>(v.contacts[contactN++])));
        break;
      case Kind::ContactOut: args.push_back(hub::MakeKdpArg(v.contacts[contactN++])); break;
      case Kind::TextFieldOut: args.push_back(hub::MakeKdpArg(v.fields[fieldN++])); break;
    }
  }
  if (next != inputs.size()) throw UsageError{"too many arguments"};

  hub::KdpReply reply = client.Request(opcode, args);

  hub::KdpResult result = row ? row->result : hub::KdpResult::R;
  if (result == hub::KdpResult::R) std::printf("R %d\n", reply.r);
  else if (result == hub::KdpResult::T || result == hub::KdpResult::LongText) std::printf("T %s\n", reply.text.c_str());
  idN = trackN = contactN = fieldN = 0;
  for (Kind k : kinds) {
    switch (k) {
      case Kind::IdIn: ++idN; break;
      case Kind::IdOut: PrintId("id", v.ids[idN++]); break;
      case Kind::TrackIn: ++trackN; break;
      case Kind::TrackOut: PrintTrack(v.tracks[trackN++]); break;
      case Kind::ContactIn: ++contactN; break;
      case Kind::ContactOut: PrintContact(v.contacts[contactN++]); break;
      case Kind::TextFieldOut: std::printf("S %s\n", v.fields[fieldN++].str().c_str()); break;
      default: break;
    }
  }
  return 0;
}

void List() {
  for (const hub::KdpRequestRow& r : hub::KdpRequestTable()) {
    std::printf("%5u %s\n", r.opcode, std::string(r.operation).c_str());
  }
}

}  // namespace

static int Main(int argc, char** argv) {
  std::string product = "irivmgr";
  uint32_t device = 10;
  uint32_t keyA = 0;
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--list") {
      List();
      return 0;
    }
    if ((a == "--product" || a == "--device" || a == "--key") && i + 1 < argc) {
      std::string value = argv[++i];
      long long n = 0;
      if (a == "--product") {
        product = value;
      } else if (!ParseNumber(value, n)) {
        return Usage();
      } else if (a == "--device") {
        device = static_cast<uint32_t>(n);
      } else {
        keyA = static_cast<uint32_t>(n);
      }
      continue;
    }
    if (a.starts_with("--")) return Usage();
    break;
  }
  if (i >= argc) return Usage();

  hub::SelectProduct(product, hub::TheProductProfile());
  static hub::KernelDeviceClient client;  // the one client of the process, as in the library
  hub::KernelId a(keyA), b(0);
  client.Attach(device, a, b, 0);  // a missing manager shows at the request

  std::vector<std::string> inputs(argv + i + 1, argv + argc);
  try {
    return Run(client, argv[i], inputs);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "kdpcall: %s\n", e.text.c_str());
    return 2;
  } catch (const hub::KernelDeviceClientException& e) {
    std::printf("error 0x%X %s: %s\n", e.code, e.title.c_str(), e.text.c_str());
    return 1;
  }
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
