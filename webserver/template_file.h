// The page-template language: text with commands between "<?" and "?>",
// tokenised line by line, parsed into a tree of Exp nodes and run against a
// request's variables and the device. A run writes into memory (bounded), so
// the page is sent after the device lock is released.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

class KernelDevice;
class StreamSource;

using VariableMap = std::map<std::string, std::string, std::less<>>;
using ExpList = std::vector<std::unique_ptr<class Exp>>;

inline constexpr size_t kMaxPageBytes = size_t{64} << 20;
inline constexpr int kMaxIncludeDepth = 16;

// A failure of the page itself (not of the device): the page answers 500.
class TemplateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr uint64_t kMaxPageSteps = 50'000'000;

// The page being written; more than its byte limit, or more node runs than
// its step limit (nested loops multiply), is a TemplateError.
class TemplateOutput {
 public:
  explicit TemplateOutput(size_t limit = kMaxPageBytes, uint64_t steps = kMaxPageSteps)
      : limit_(limit), stepsLeft_(steps) {}
  void Write(std::string_view text);
  void Step() {
    if (stepsLeft_ == 0) throw TemplateError("The page runs too many commands.");
    --stepsLeft_;
  }
  const std::string& Text() const { return text_; }
  std::string& Text() { return text_; }

 private:
  std::string text_;
  size_t limit_;
  uint64_t stepsLeft_;
};

// Where included files come from: the selected skin for real pages, a map in
// tests and the fuzz target.
class TemplateSource {
 public:
  virtual ~TemplateSource() = default;
  // The text of `name`; false with `detail` (the resolved path, or why it
  // failed) for "Cannot include '<detail>'.".
  virtual bool Load(std::string_view name, std::string& text, std::string& detail) = 0;
};

// Reads include files through ResolveSkinFile; files above kMaxPageBytes fail.
class SkinTemplateSource : public TemplateSource {
 public:
  bool Load(std::string_view name, std::string& text, std::string& detail) override;
};

// What a page run needs besides its variables and the device.
struct PageEnvironment {
  TemplateSource* source = nullptr;
  StreamSource* streams = nullptr;  // byte sizes of data items; may be null
  // Cleared by what depends on more than the files, the starting variables,
  // the settings and the device: queue commands, searches, the skin list.
  bool keepable = true;
};

struct Token {
  std::string name;
  std::vector<std::string> arguments;
  std::string text;
};
using TokenList = std::vector<Token>;

// Appends the tokens of one line (its line end included in `line`).
void TokenizeLine(std::string_view line, TokenList& tokens);
// The token of a command's text; false when it makes none.
bool ParseCommandToken(std::string_view command, Token& token);
// Tokens of a whole text: lines read as bytes, each ending "\r\n" (a CR
// before the LF is not doubled).
TokenList TokenizeText(std::string_view text);

class TemplateFile;

class Exp {
 public:
  explicit Exp(TemplateFile* file) : file_(file) {}
  virtual ~Exp() = default;
  virtual void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) = 0;

 protected:
  TemplateFile* File() const { return file_; }

 private:
  TemplateFile* file_;
};

void RunExpList(const ExpList& list, TemplateOutput& output, VariableMap& variables, KernelDevice& device);

class TemplateFile {
 public:
  TemplateFile(std::string name, PageEnvironment& environment, int depth = 0)
      : name_(std::move(name)), environment_(environment), depth_(depth) {}

  // Tokenises, parses and runs `text`. Device failures and TemplateErrors
  // pass to the caller; what was written stays in `output`.
  void Run(std::string_view text, TemplateOutput& output, VariableMap& variables, KernelDevice& device);
  // Removes one node's tokens from the head of `tokens` and appends the node.
  void ParseNode(TokenList& tokens, size_t& head, ExpList& nodes);

  PageEnvironment& Environment() const { return environment_; }
  int Depth() const { return depth_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  PageEnvironment& environment_;
  int depth_;
};

// Parses a whole text into nodes (tests and the fuzz target look at trees).
ExpList ParseTemplateText(TemplateFile& file, std::string_view text);

}  // namespace hub
