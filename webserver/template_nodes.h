// The nodes of a parsed template, and the process-wide list of the last
// search's results that SEARCHRESULTS loops and the enqueue command read.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"
#include "webserver/template_file.h"

namespace hub {

class ExpHtml : public Exp {
 public:
  ExpHtml(TemplateFile* file, std::string text) : Exp(file), text_(std::move(text)) {}
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class ExpError : public ExpHtml {
 public:
  using ExpHtml::ExpHtml;
};

class ExpEcho : public Exp {
 public:
  ExpEcho(TemplateFile* file, std::string name, bool passable) : Exp(file), name_(std::move(name)), passable_(passable) {}
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;

 private:
  std::string name_;
  bool passable_;
};

class ExpSet : public Exp {
 public:
  ExpSet(TemplateFile* file, std::string name, std::string value)
      : Exp(file), name_(std::move(name)), value_(std::move(value)) {}
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;

 private:
  std::string name_;
  std::string value_;
};

class ExpInclude : public Exp {
 public:
  ExpInclude(TemplateFile* file, std::string name) : Exp(file), name_(std::move(name)) {}
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;

 private:
  std::string name_;
};

class ExpIf : public Exp {
 public:
  ExpIf(TemplateFile* file, std::string name) : Exp(file), name_(std::move(name)) {}
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;
  ExpList thenList;
  ExpList elseList;

 private:
  std::string name_;
};

class ExpLoop : public Exp {
 public:
  ExpLoop(TemplateFile* file, std::vector<std::string> arguments) : Exp(file), arguments_(std::move(arguments)) {
    arguments_.resize(6);
  }
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;
  ExpList body;

 private:
  std::vector<std::string> arguments_;  // loop type, then arguments 1 to 5
};

class ExpQueueControl : public Exp {
 public:
  ExpQueueControl(TemplateFile* file, std::vector<std::string> arguments) : Exp(file), arguments_(std::move(arguments)) {
    arguments_.resize(4);
  }
  void Execute(TemplateOutput& output, VariableMap& variables, KernelDevice& device) override;

 private:
  std::vector<std::string> arguments_;  // command, then arguments 1 to 3
};

// The last search's track ids, in the order its loop listed them.
std::vector<KernelId> LastSearchResults();
void SetLastSearchResults(std::vector<KernelId> ids);

// Track lists shared by loops and the enqueue command: all unlocked tracks,
// or those FindTracks gives for the tags, in the default track order.
std::vector<KernelId> AllUnlockedTracks(KernelDevice& device);
std::vector<KernelId> FoundTracks(KernelDevice& device, std::string_view artist, std::string_view album,
                                  std::string_view genre, bool skipLocked);
void SortTracks(KernelDevice& device, std::vector<KernelId>& ids);

// The value of a "from_url" argument: the variable, HTML-unescaped.
std::string FromUrl(const VariableMap& variables, std::string_view name);

}  // namespace hub
