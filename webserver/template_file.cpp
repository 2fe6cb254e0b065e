// Tokenizer, parser and the plain commands of the template language.
#include "webserver/template_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/settings.h"
#include "common/text.h"
#include "webserver/http_response.h"
#include "webserver/skins.h"
#include "webserver/template_nodes.h"
#include "webserver/template_text.h"

namespace hub {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AddHtml(TokenList& tokens, std::string_view text) {
  Token t;
  t.name = "html";
  t.text = std::string(text);
  tokens.push_back(std::move(t));
}

std::string WrongCount(std::string_view name) { return "'" + std::string(name) + "' command has wrong number of arguments."; }

// Reads the whole file, bounded; false with the reason.
bool ReadBounded(const std::string& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxPageBytes;
  text.clear();
  char buffer[65536];
  while (ok) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxPageBytes) ok = false;
  }
  ::close(fd);
  return ok;
}

}  // namespace

void TemplateOutput::Write(std::string_view text) {
  if (text.size() > limit_ - text_.size()) throw TemplateError("The page is larger than 64 MiB.");
  text_.append(text);
}

bool SkinTemplateSource::Load(std::string_view name, std::string& text, std::string& detail) {
  std::string path;
  if (!ResolveSkinFile(name, path)) {
    detail = path;
    return false;
  }
  // The page names the missing file as the skin does, never by its path on the computer.
  detail = std::string(name);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (!ReadBounded(path, text)) throw TemplateError("Could not read '" + std::string(name) + "'.");
  return true;
}

void TokenizeLine(std::string_view line, TokenList& tokens) {
  std::string_view rest = line;
  while (!rest.empty()) {
    size_t open = rest.find("<?");
    if (open == std::string_view::npos) {
      AddHtml(tokens, rest);
      return;
    }
    if (rest.substr(open).starts_with("<?xml")) {
      size_t close = rest.find("?>", open + 5);
      if (close == std::string_view::npos) {
        if (open > 0) AddHtml(tokens, rest.substr(0, open));
        return;
      }
      size_t next = rest.find("<?", close + 2);
      if (next == std::string_view::npos) {
        AddHtml(tokens, rest);
        return;
      }
      // The declaration stays literal text before the next command.
      open = next;
    }
    if (open > 0) AddHtml(tokens, rest.substr(0, open));
    size_t close = rest.find("?>", open + 2);
    if (close == std::string_view::npos) return;
    Token token;
    if (ParseCommandToken(rest.substr(open + 2, close - open - 2), token)) tokens.push_back(std::move(token));
    rest = rest.substr(close + 2);
  }
}

bool ParseCommandToken(std::string_view command, Token& token) {
  std::string text = TrimBlanks(command);
  if (text.empty()) return false;
  token = Token();
  size_t paren = text.find('(');
  if (paren == std::string::npos) {
    token.name = text;
    return true;
  }
  token.name = TrimBlanks(std::string_view(text).substr(0, paren));
  if (token.name.empty()) return false;
  std::string args;
  for (char c : std::string_view(text).substr(paren + 1)) {
    if (c != ')') args.push_back(c);
  }
  args = TrimBlanks(args);
  size_t pos = 0;
  while (pos < args.size()) {
    size_t comma = args.find(',', pos);
    if (comma == std::string::npos) comma = args.size();
    if (comma > pos) token.arguments.push_back(args.substr(pos, comma - pos));
    pos = comma + 1;
  }
  return true;
}

TokenList TokenizeText(std::string_view text) {
  TokenList tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::string withEnd(line);
    withEnd += kLineEnd;
    TokenizeLine(withEnd, tokens);
    pos = next;
  }
  return tokens;
}

void TemplateFile::ParseNode(TokenList& tokens, size_t& head, ExpList& nodes) {
  if (head >= tokens.size()) return;
  Token token = std::move(tokens[head++]);
  const std::string& name = token.name;
  size_t n = token.arguments.size();
  auto error = [&](std::string text) { nodes.push_back(std::make_unique<ExpError>(this, std::move(text))); };
  if (name == "html") {
    nodes.push_back(std::make_unique<ExpHtml>(this, std::move(token.text)));
  } else if (name == "if") {
    if (n != 1) return error(WrongCount("if"));
    auto node = std::make_unique<ExpIf>(this, token.arguments[0]);
    ExpList* current = &node->thenList;
    while (head < tokens.size()) {
      if (tokens[head].name == "endif") {
        ++head;
        break;
      }
      if (tokens[head].name == "else" && current == &node->thenList) {
        ++head;
        current = &node->elseList;
        continue;
      }
      ParseNode(tokens, head, *current);
    }
    nodes.push_back(std::move(node));
  } else if (name == "include") {
    if (n != 1) return error(WrongCount("include"));
    nodes.push_back(std::make_unique<ExpInclude>(this, token.arguments[0]));
  } else if (name == "qcontrol") {
    if (n < 1 || n > 4) return error(WrongCount("qcontrol"));
    nodes.push_back(std::make_unique<ExpQueueControl>(this, std::move(token.arguments)));
  } else if (name == "print" || name == "printu") {
    if (n != 1) return error(WrongCount("print"));
    nodes.push_back(std::make_unique<ExpEcho>(this, token.arguments[0], name == "printu"));
  } else if (name == "loop") {
    if (n < 1 || n > 6) return error(WrongCount("loop"));
    auto node = std::make_unique<ExpLoop>(this, std::move(token.arguments));
    while (head < tokens.size()) {
      if (tokens[head].name == "endloop") {
        ++head;
        break;
      }
      ParseNode(tokens, head, node->body);
    }
    nodes.push_back(std::move(node));
  } else if (name == "set") {
    if (n != 2) return error(WrongCount("set"));
    nodes.push_back(std::make_unique<ExpSet>(this, token.arguments[0], token.arguments[1]));
  } else {
    error("Unrecognized command '" + name + "'.");
  }
}

ExpList ParseTemplateText(TemplateFile& file, std::string_view text) {
  TokenList tokens = TokenizeText(text);
  ExpList nodes;
  size_t head = 0;
  while (head < tokens.size()) file.ParseNode(tokens, head, nodes);
  return nodes;
}

void TemplateFile::Run(std::string_view text, TemplateOutput& output, VariableMap& variables, KernelDevice& device) {
  ExpList nodes = ParseTemplateText(*this, text);
  std::string lastQuery;
  if (ReadSettingString("SQL_LastSearchQuery", lastQuery) != 0) variables["last_query"] = HtmlEscape(lastQuery);
  RunExpList(nodes, output, variables, device);
}

void RunExpList(const ExpList& list, TemplateOutput& output, VariableMap& variables, KernelDevice& device) {
  for (const auto& node : list) {
    output.Step();
    node->Execute(output, variables, device);
  }
}

void ExpHtml::Execute(TemplateOutput& output, VariableMap&, KernelDevice&) { output.Write(text_); }

void ExpEcho::Execute(TemplateOutput& output, VariableMap& variables, KernelDevice&) {
  auto it = variables.find(name_);
  if (it == variables.end()) return;
  output.Write(passable_ ? PassableForLink(HtmlUnescape(it->second)) : it->second);
}

void ExpSet::Execute(TemplateOutput&, VariableMap& variables, KernelDevice&) { variables[name_] = value_; }

void ExpIf::Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) {
  auto it = variables.find(name_);
  bool set = it != variables.end() && !it->second.empty();
  RunExpList(set ? thenList : elseList, output, variables, device);
}

void ExpInclude::Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) {
  TemplateFile* parent = File();
  if (parent->Depth() + 1 > kMaxIncludeDepth) {
    output.Write("Cannot include '" + HtmlEscape(name_) + "': nested too deeply.");
    return;
  }
  std::string text, detail;
  TemplateSource* source = parent->Environment().source;
  if (!source || !source->Load(name_, text, detail)) {
    output.Write("Cannot include '" + HtmlEscape(detail.empty() ? name_ : detail) + "'.");
    return;
  }
  TemplateFile included(name_, parent->Environment(), parent->Depth() + 1);
  included.Run(text, output, variables, device);
}

}  // namespace hub
