#include "document.h"

#include <fcntl.h>
#include <linexml/xml_errors.h>
#include <linexml/xml_functions.h>
#include <linexml/xml_path.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "commands.h"
#include "output.h"
#include "warnings.h"

namespace linexml::cli {

void AddReadOptions(CLI::App& Cmd, ReadOptions& O) {
  Cmd.add_flag("--accept-bom", O.AcceptBom, "Read a document that begins with a UTF-8 byte-order mark");
  Cmd.add_flag("--accept-no-declaration", O.AcceptNoDeclaration,
               "Read a document without an XML declaration, with the declaration's defaults");
  Cmd.add_flag("--accept-full-prolog", O.AcceptFullProlog,
               "Read comments, instructions and white space between the declaration and the root, as XML "
               "allows");
}

TXMLLoadOptions LoadOptionsFor(const ReadOptions& O, bool Warnings) {
  TXMLLoadOptions L;
  L.AcceptBOM = O.AcceptBom;
  L.AcceptNoDeclaration = O.AcceptNoDeclaration;
  L.AcceptFullProlog = O.AcceptFullProlog;
  L.CollectWarnings = Warnings;
  return L;
}

void AddWriteOptions(CLI::App& Cmd, WriteOptions& O, bool KeepsFile) {
  O.KeepsFile = KeepsFile;
  O.LayoutOptions = {
      Cmd.add_option("--indent", O.Indent, "Indent N spaces per level, 0 to 255 (default: 2)")
          ->type_name("N")
          ->check(CLI::Range(0, 255)),
      Cmd.add_flag("--tabs", O.Tabs, "Indent one tab per level (wins over --indent)"),
      Cmd.add_flag("--crlf", O.Crlf, "End lines with CR LF instead of LF"),
      Cmd.add_flag("--bom", O.Bom, "Begin the file with a UTF-8 byte-order mark"),
      Cmd.add_flag("--standard-declaration", O.StandardDeclaration,
                   "Write the declaration as XML 1.0 has it: version, encoding, standalone (no language)"),
      Cmd.add_flag("--inline-text", O.InlineText,
                   "Write an element whose only child is text on one line: <name>text</name>"),
      Cmd.add_option("--profile", O.Profile,
                     "'xml': every choice other XML tools need (standard declaration, inline text, no "
                     "empty document-type line); 'linexml' (default): the library's layout")
          ->type_name("NAME")
          ->check(CLI::IsMember({"linexml", "xml"})),
  };
  if (KeepsFile)
    O.LayoutOptions.push_back(Cmd.add_flag(
        "--reformat", O.Reformat,
        "Write the whole document in the library's layout instead of keeping the file's (as 'format')"));
}

bool WriteOptions::KeepsSource() const {
  return KeepsFile && std::none_of(LayoutOptions.begin(), LayoutOptions.end(),
                                   [](const CLI::Option* Opt) { return Opt->count() > 0; });
}

TXMLSaveOptions SaveOptionsFor(const WriteOptions& O, const TXMLParser& P) {
  if (O.KeepsSource()) {
    TXMLSaveOptions S;
    S.PreserveSource = true;
    S.ByteOrderMark = P.HadByteOrderMark();  // for a document that has no source to keep
    return S;
  }
  TXMLSaveOptions S = O.Profile == "xml" ? TXMLSaveOptions::Interoperable() : TXMLSaveOptions{};
  S.IndentWidth = O.Indent;
  S.IndentWithTabs = O.Tabs;
  S.LineEnding = O.Crlf ? leCRLF : leLF;
  S.ByteOrderMark = O.Bom || P.HadByteOrderMark();
  S.StandardDeclaration = S.StandardDeclaration || O.StandardDeclaration;
  S.InlineText = S.InlineText || O.InlineText;
  return S;
}

bool GivenOnCommandLine(const CLI::App& Cmd, const CLI::Option* Opt) {
  // The parse order lists what the command line gave; values from the file are not in it.
  const std::vector<CLI::Option*> Given = Cmd.parse_order();
  return std::find(Given.begin(), Given.end(), Opt) != Given.end();
}

std::string DefaultConfigFile() {
  const char* Config = std::getenv("XDG_CONFIG_HOME");
  if (Config != nullptr && *Config == '/') return std::string(Config) + "/linexml/config";
  const char* Home = std::getenv("HOME");
  if (Home != nullptr && *Home != '\0') return std::string(Home) + "/.config/linexml/config";
  return {};
}

bool IsStdin(const std::string& Arg) {
  return Arg == "-";
}

std::string ShownName(const std::string& Arg) {
  return IsStdin(Arg) ? "<stdin>" : Arg;
}

bool ReadStdin(std::string& Out) {
  Out.clear();
  char Block[64 * 1024];
  for (;;) {
    const std::size_t Got = std::fread(Block, 1, sizeof Block, stdin);
    Out.append(Block, Got);
    if (Got < sizeof Block) return std::ferror(stdin) == 0;
  }
}

TXMLErrorCode LoadDocument(TXMLParser& P, const std::string& Arg, const std::string* StdinText) {
  if (!IsStdin(Arg)) {
    P.setFileName(Arg);
    return P.XMLErrorCode();
  }
  if (StdinText == nullptr) return ecNoFile;
  return P.LoadFromText(*StdinText);
}

TXMLErrorCode LoadFileKeepingText(TXMLParser& P, const std::string& Path, std::string& Text) {
  Text.clear();
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return LoadDocument(P, Path, nullptr);  // nothing read: the library says why
  struct stat Info {};
  const bool Rereadable = ::fstat(Fd, &Info) == 0 && (S_ISREG(Info.st_mode) || S_ISDIR(Info.st_mode));
  if (Rereadable && S_ISREG(Info.st_mode)) Text.reserve(static_cast<std::size_t>(Info.st_size));
  char Block[64 * 1024];
  ssize_t Got = 0;
  while ((Got = ::read(Fd, Block, sizeof Block)) != 0) {
    if (Got > 0) {
      Text.append(Block, static_cast<std::size_t>(Got));
    } else if (errno != EINTR) {
      break;
    }
  }
  ::close(Fd);
  if (Got == 0) return P.LoadFromText(Text);
  Text.clear();
  // A file or folder can be opened again for the library's reason; a stream is not read twice.
  return Rereadable ? LoadDocument(P, Path, nullptr) : ecNoFile;
}

std::string CheckLine(const std::string& Shown, TXMLErrorCode Status, const TXMLParser& P) {
  if (Status == ecOk) return Shown + ": ok";
  std::string Out = Shown;
  if (P.ErrorLine() > 0) {
    Out += ':';
    Out += std::to_string(P.ErrorLine());
    Out += ':';
    Out += std::to_string(P.ErrorColumn());
  }
  Out += ": ";
  Out += ErrorCodeName(Status);
  Out += ": ";
  // Standard input that could not be read never reached the parser.
  const std::string& Message = P.ErrorMessage();
  Out += P.XMLErrorCode() == Status && !Message.empty() ? Message : ErrorCodeMeaning(Status);
  return Out;
}

namespace {

// True when writing to Target would replace the file Arg names.
bool WritesOver(const std::string& Arg, const std::optional<std::string>& Target) {
  if (!Target || IsStdin(*Target) || IsStdin(Arg)) return false;
  if (*Target == Arg) return true;
  struct stat A {
  }, T{};
  return ::stat(Arg.c_str(), &A) == 0 && ::stat(Target->c_str(), &T) == 0 && A.st_dev == T.st_dev &&
         A.st_ino == T.st_ino;
}

}  // namespace

bool LoadForCommand(TXMLParser& P, const std::string& Arg, const ReadOptions& Read, bool Force,
                    const std::optional<std::string>& Target) {
  return LoadForCommand(P, Arg, LoadOptionsFor(Read), Force, Target);
}

bool LoadForCommand(TXMLParser& P, const std::string& Arg, const TXMLLoadOptions& Load, bool Force,
                    const std::optional<std::string>& Target) {
  P.SetLoadOptions(Load);
  std::string StdinText;
  const bool StdinRead = IsStdin(Arg) && ReadStdin(StdinText);
  const TXMLErrorCode Status = LoadDocument(P, Arg, StdinRead ? &StdinText : nullptr);
  if (Status == ecOk) return true;
  // A load that read nothing (or kept nothing: out of memory) has no document to go on with, forced
  // or not: writing one out would replace the file with an empty default document. One that
  // stopped early (a byte-order mark before the declaration is enough) has only part of it.
  const bool Readable = Status != ecNoFile && Status != ecInvalidFileName && Status != ecOutOfMemory;
  const bool InPlace = WritesOver(Arg, Target);
  if (Force && Readable && !InPlace) return true;
  std::cerr << CheckLine(ShownName(Arg), Status, P) << '\n';
  for (const TXMLErrorNote& N : P.ErrorNotes()) std::cerr << NoteLine(ShownName(Arg), N) << '\n';
  if (Force && Readable)
    Fail(Arg +
         ": not written back: the document did not load completely (--force writes it only to another file)");
  return false;
}

void SaveResult(TXMLParser& P, const std::optional<std::string>& Target, const TXMLSaveOptions& Layout) {
  if (!Target || IsStdin(*Target)) {
    SaveToStdout(P, Layout);
  } else {
    P.SaveFile(*Target, Layout);
  }
}

std::string WhyNotStorable(Storable Kind, const std::string& Text) {
  const std::optional<std::string> Why = Kind == Storable::kName    ? WhyNotWritableName(Text)
                                         : Kind == Storable::kValue ? WhyNotWritableValue(Text)
                                                                    : WhyNotWritableText(Text);
  return Why.value_or(std::string());
}

void RequireStorable(std::string_view What, std::string_view Text, bool IsName) {
  const std::string Why = WhyNotStorable(IsName ? Storable::kName : Storable::kValue, std::string(Text));
  if (!Why.empty())
    throw UsageError(std::string(What) + " cannot hold what a load would not read back: " + Why);
}

bool IsPath(const std::string& Tag) {
  return Tag.find_first_of("/[*.") != std::string::npos;
}

void RequirePathSyntax(const std::string& Path) {
  try {
    (void)TXMLPath(Path);
  } catch (const EXMLPathError& E) {
    throw UsageError(E.what());
  }
}

std::vector<TXMLNode*> ElementsFor(const TXMLParser& P, const std::string& Tag) {
  if (IsPath(Tag)) return P.SelectAll(Tag);
  TXMLNode* Node = P.FindTagByName(Tag);
  if (Node == nullptr || Node->TagType() == ttCDATA) return {};
  return {Node};
}

std::string NoElementFor(const std::string& Tag) {
  return (IsPath(Tag) ? "no element matches " : "no element named ") + QuoteText(Tag);
}

std::string NodePath(const TXMLNode& Node) {
  // From the node up, each step with its position among the siblings of its name when there are
  // several.
  std::string Path;
  const TXMLNode* N = Node.TagType() == ttCDATA ? Node.Parent() : &Node;
  for (; N != nullptr; N = N->Parent()) {
    std::string Step = "/" + EscapeText(N->TagName());
    if (const TXMLNode* Up = N->Parent()) {
      int Same = 0, Position = 0;
      for (const TXMLNode* K : Up->Children()) {
        if (K->TagType() == ttCDATA || K->TagName() != N->TagName()) continue;
        ++Same;
        if (K == N) Position = Same;
      }
      if (Same > 1) Step += "[" + std::to_string(Position) + "]";
    }
    Path.insert(0, Step);
  }
  if (Node.TagType() != ttCDATA) return Path;
  int Run = 0;
  for (const TXMLNode* K = &Node; K != nullptr; K = K->PreviousSibling())
    if (K->TagType() == ttCDATA) ++Run;
  return "text run " + std::to_string(Run) + " of " + (Path.empty() ? "a node of no document" : Path);
}

bool WritableOrForced(const TXMLParser& P, const std::string& Arg, bool Force,
                      const TXMLSaveOptions& Layout) {
  if (Force) return true;
  const std::optional<TXMLUnwritable> Fault = P.FirstUnwritable(Layout);
  if (!Fault) return true;
  std::string Where = "the prolog";
  if (Fault->Node != nullptr)
    Where = (Fault->Node->TagType() == ttCDATA ? "the " : "the element ") + NodePath(*Fault->Node) +
            " (line " + std::to_string(P.LineWritten(*Fault->Node, Layout)) + " as written)";
  // A layout that claims XML adds the rules of XML readers: say which kind of fault this is.
  const bool NotXml = Layout.StandardDeclaration && !P.FirstUnwritable();
  Fail(ShownName(Arg) + ": not written: " + Where +
       (NotXml ? " would not read as XML: " : " would not load back the same: ") + Fault->Reason +
       " (--force writes it anyway)");
  return false;
}

int LoadChangeSave(const WritingCommand& C, const std::function<int(TXMLParser&)>& Change) {
  TXMLLoadOptions Load = LoadOptionsFor(*C.Read, C.Warnings);
  Load.KeepSource = C.Write->KeepsSource();
  TXMLParser P;
  if (!LoadForCommand(P, C.File, Load, C.ForceLoad, C.Target)) return kExitFailed;
  if (const int Status = Change(P); Status != kExitOk) return Status;
  const TXMLSaveOptions Layout = SaveOptionsFor(*C.Write, P);
  if (!WritableOrForced(P, C.File, C.Force, Layout)) return kExitFailed;
  SaveResult(P, C.Target, Layout);
  return kExitOk;
}

}  // namespace linexml::cli
