// linexml format and linexml set: commands that write a document.
#include <string_view>

#include "commands.h"
#include "document.h"
#include "output.h"

namespace linexml::cli {
namespace {

// Where a result goes: standard output for no name or "-", else the named file through SaveFile,
// which replaces it only once everything was written.
void Save(TXMLParser& P, const std::optional<std::string>& Target) {
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

}  // namespace

int RunFormat(const FormatOptions& O) {
  if (O.InPlace && IsStdin(O.File)) throw UsageError("-i needs a file: standard input cannot be rewritten");
  TXMLParser P;
  if (!LoadForCommand(P, O.File, O.Force)) return kExitFailed;
  Save(P, O.InPlace ? std::optional<std::string>(O.File) : O.Output);
  return kExitOk;
}

int RunSet(const SetOptions& O) {
  RequireStorable("ATTRIBUTE", O.Attribute, true);
  RequireStorable("VALUE", O.Value, false);
  TXMLParser P;
  if (!LoadForCommand(P, O.File)) return kExitFailed;
  TXMLNode* Node = P.FindTagByName(O.Tag);
  if (Node == nullptr || Node->TagType() == ttCDATA)
    return Fail(ShownName(O.File) + ": no element named " + Quote(O.Tag));
  Node->SetAttributeValue(O.Attribute, O.Value);
  // In place by default; standard input has no place, so its result goes to standard output.
  Save(P, O.Output ? O.Output : IsStdin(O.File) ? std::nullopt : std::optional<std::string>(O.File));
  return kExitOk;
}

}  // namespace linexml::cli
