#include "config.h"

#include <linexml/xml_functions.h>

#include <CLI/CLI.hpp>
#include <fstream>
#include <vector>

#include "document.h"

namespace linexml::cli {
namespace {

// A line of the file that sets an option, split as CLI11's reader splits it (sections and dotted
// names give the commands, quotes are taken off).
struct Setting {
  std::vector<std::string> Parents;  // the command's section; none outside a section
  std::string Name;
  std::string Value;
  bool HasValue = false;  // "name" alone sets a flag
};

std::string SectionOf(const std::vector<std::string>& Parents) {
  std::string Out;
  for (const std::string& P : Parents) Out += (Out.empty() ? "" : ".") + P;
  return Out;
}

// The option Name of Cmd as a configuration key names it: the long name, a one-letter name, or a
// positional argument's name.
CLI::Option* OptionNamed(CLI::App& Cmd, const std::string& Name) {
  CLI::Option* Opt = Cmd.get_option_no_throw("--" + Name);
  if (Opt == nullptr && Name.size() == 1) Opt = Cmd.get_option_no_throw("-" + Name);
  if (Opt == nullptr) Opt = Cmd.get_option_no_throw(Name);
  return Opt;
}

// The command named Name under Cmd, or nullptr.
CLI::App* CommandNamed(CLI::App& Cmd, const std::string& Name) {
  const std::vector<CLI::App*> Found =
      Cmd.get_subcommands([&](CLI::App* C) { return C->get_name() == Name; });
  return Found.empty() ? nullptr : Found.front();
}

// The command that a section and a dotted key name, or nullptr.
CLI::App* CommandOf(CLI::App& App, const std::vector<std::string>& Parents) {
  CLI::App* Cmd = &App;
  for (const std::string& P : Parents)
    if (Cmd != nullptr) Cmd = CommandNamed(*Cmd, P);
  return Cmd;
}

// Why Opt refuses Value, or empty.
std::string Refusal(CLI::Option& Opt, const Setting& S) {
  if (Opt.get_expected_min() == 0) {
    bool Flag = false;
    return CLI::detail::lexical_cast(S.HasValue ? S.Value : "true", Flag) ? "" : "a flag takes true or false";
  }
  if (!S.HasValue) return "the option needs a value";
  if (Opt.get_type_size() != 1) return {};  // several values: left to the option's own parse
  for (int I = 0;; ++I) {
    CLI::Validator* Check = nullptr;
    try {
      Check = Opt.get_validator(I);
    } catch (const CLI::OptionNotFound&) {
      return {};
    }
    std::string Copy = S.Value;
    std::string Why = (*Check)(Copy);
    if (!Why.empty()) return Why;
  }
}

}  // namespace

std::string ConfigFault(CLI::App& App) {
  const CLI::Option* Given = App.get_config_ptr();
  const bool Named = Given != nullptr && Given->count() > 0;
  const std::string File = Named ? Given->as<std::string>() : DefaultConfigFile();
  if (File.empty()) return {};
  std::ifstream In(File);
  if (!In) return {};  // a named file that cannot be read is the parser's error; a default one is optional

  const std::string Shown = File + ":";
  std::string Section = "default";
  std::string Line;
  for (std::size_t Number = 1; std::getline(In, Line); ++Number) {
    CLI::detail::trim(Line);
    // What CLI11's reader skips: lines too short to say anything, and comments.
    if (Line.size() < 3 || Line.front() == '#' || Line.front() == ';') continue;
    const std::string At = Shown + std::to_string(Number) + ": ";
    if (Line.front() == '[' && Line.back() == ']') {
      Section = Line.substr(1, Line.size() - 2);
      if (Section.size() > 1 && Section.front() == '[' && Section.back() == ']')
        Section = Section.substr(1, Section.size() - 2);
      std::string None;
      if (CommandOf(App, CLI::detail::generate_parents(Section, None, '.')) == nullptr)
        return At + "unknown section [" + EscapeText(Section) + "]: a section is a command's name";
      continue;
    }
    Setting S;
    const std::size_t Equals = Line.find('=');
    S.HasValue = Equals != std::string::npos;
    // A comment may end the line, after the value or after a flag's name.
    auto Uncommented = [](const std::string& Text) {
      return CLI::detail::trim_copy(Text.substr(0, Text.find('#')));
    };
    S.Name = S.HasValue ? CLI::detail::trim_copy(Line.substr(0, Equals)) : Uncommented(Line);
    if (S.HasValue) {
      S.Value = Uncommented(Line.substr(Equals + 1));
      // A list in brackets may go on over the lines that follow, up to its "]".
      for (std::string More;
           S.Value.size() > 1 && S.Value.front() == '[' && S.Value.back() != ']' && std::getline(In, More);
           ++Number)
        S.Value += CLI::detail::trim_copy(More);
      CLI::detail::remove_quotes(S.Value);
    }
    if (S.Name.find('.') == std::string::npos) CLI::detail::remove_quotes(S.Name);
    S.Parents = CLI::detail::generate_parents(Section, S.Name, '.');

    CLI::App* Cmd = CommandOf(App, S.Parents);
    if (Cmd == nullptr) return At + "unknown section [" + EscapeText(SectionOf(S.Parents)) + "]";
    const std::string Where =
        Cmd == &App ? " outside a section (a command's options go in its section, e.g. [format])"
                    : " in [" + EscapeText(SectionOf(S.Parents)) + "]";
    CLI::Option* Opt = OptionNamed(*Cmd, S.Name);
    if (Opt == nullptr) return At + "unknown key " + QuoteText(S.Name) + Where;
    if (!Opt->get_configurable())
      return At + "key " + QuoteText(S.Name) + Where + " cannot be set in the file";
    const std::string Why = Refusal(*Opt, S);
    if (!Why.empty())
      return At + "bad value " + QuoteText(S.Value) + " for " + QuoteText(S.Name) + Where + ": " + Why;
  }
  return {};
}

}  // namespace linexml::cli
