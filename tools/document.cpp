#include "document.h"

#include <sys/stat.h>

#include <cstdio>
#include <iostream>

#include "commands.h"
#include "output.h"

namespace linexml::cli {

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

std::string CheckLine(const std::string& Shown, TXMLErrorCode Status, std::int64_t Line) {
  if (Status == ecOk) return Shown + ": ok";
  std::string Out = Shown;
  if (Line > 0) {
    Out += ':';
    Out += std::to_string(Line);
  }
  Out += ": ";
  Out += ErrorCodeName(Status);
  Out += ": ";
  Out += ErrorCodeMeaning(Status);
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

bool LoadForCommand(TXMLParser& P, const std::string& Arg, bool Force,
                    const std::optional<std::string>& Target) {
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
  std::cerr << CheckLine(ShownName(Arg), Status, P.ErrorLine()) << '\n';
  if (Force && Readable)
    Fail(Arg +
         ": not written back: the document did not load completely (--force writes it only to another file)");
  return false;
}

void SaveResult(TXMLParser& P, const std::optional<std::string>& Target) {
  if (!Target || IsStdin(*Target)) {
    SaveToStdout(P);
  } else {
    P.SaveFile(*Target);
  }
}

// The loader would not read back what these would write: a space ends an attribute token, ">" ends
// the tag, "=" ends a name, a line break splits the line and "<!--" starts a comment that is cut out.
void RequireStorable(std::string_view What, std::string_view Text, bool IsName) {
  for (const char C : Text) {
    if (C == ' ' || C == '>' || C == '\n' || C == '\r' || (IsName && C == '='))
      throw UsageError(std::string(What) + " cannot hold a space, '>'" + (IsName ? ", '='" : "") +
                       " or a line break: it would not read back");
  }
  if (Text.find("<!--") != std::string_view::npos)
    throw UsageError(std::string(What) + " cannot hold \"<!--\": it would be cut out as a comment");
  if (IsName && Text.empty()) throw UsageError(std::string(What) + " is empty");
}

}  // namespace linexml::cli
