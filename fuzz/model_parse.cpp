#include "model_parse.h"

#include <sstream>

namespace model {
namespace {

using linexml::ecInvalidTag;
using linexml::ecOk;
using linexml::TXMLErrorCode;

// The text primitives, positions counted from 1.
using Pos = long long;

Pos Length(const std::string& S) {
  return static_cast<Pos>(S.size());
}

// Position of the first occurrence of Sub in S, 0 when there is none.
Pos Find(const std::string& Sub, const std::string& S) {
  const std::size_t P = S.find(Sub);
  return P == std::string::npos ? 0 : static_cast<Pos>(P) + 1;
}

// At most Count characters from Start; empty when Count <= 0 or Start lies past the end.
std::string Copy(const std::string& S, Pos Start, Pos Count) {
  if (Count <= 0 || Start > Length(S)) return {};
  return S.substr(static_cast<std::size_t>(Start - 1), static_cast<std::size_t>(Count));
}

// Removes at most Count characters from Start; nothing when Count <= 0 or Start lies past the end.
void Delete(std::string& S, Pos Start, Pos Count) {
  if (Count <= 0 || Start > Length(S)) return;
  S.erase(static_cast<std::size_t>(Start - 1), static_cast<std::size_t>(Count));
}

// The I-th character, -1 when there is none.
int Char(const std::string& S, Pos I) {
  if (I < 1 || I > Length(S)) return -1;
  return static_cast<unsigned char>(S[static_cast<std::size_t>(I - 1)]);
}

bool EndsWith(const std::string& S, const std::string& Tail) {
  return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace

std::string ParseAttributeValue(const std::string& S) {
  const Pos L = Length(S);
  // 1.
  if (S == ">" || S == "/>" || S == "?>" || S == "!>") return {};
  // 2.
  if (Char(S, L - 1) == '>') {
    if (Char(S, L - 2) == '/' || Char(S, L - 2) == '?') return Copy(S, 2, L - 5);
    return Copy(S, 2, L - 4);
  }
  // 3.
  return Copy(S, 2, L - 3);
}

TXMLErrorCode ParseAttribute(Attr& A, std::string& S) {
  const Pos Eq = Find("=", S);
  if (Eq == 0) {
    // No "=": a valueless attribute named by the token without its trailing space and without the
    // tag's closing characters.
    std::string T = S;
    if (EndsWith(T, " ")) T.pop_back();
    if (EndsWith(T, "/>") || EndsWith(T, "?>"))
      T.resize(T.size() - 2);
    else if (EndsWith(T, ">"))
      T.pop_back();
    A.Name += T;
    S.clear();
    return ecOk;
  }
  // 1. every character before the first "=".
  for (Pos I = 1; I < Eq; ++I) A.Name += static_cast<char>(Char(S, I));
  // 2.
  Delete(S, 1, Eq);
  // 3.
  A.Value = ParseAttributeValue(S);
  return ecOk;
}

TXMLErrorCode Node::ParseString(std::int32_t ALevel, std::string& S) {
  // 1.
  Level = ALevel;
  TXMLErrorCode Status = ecOk;
  bool Closed = false;
  if (S.empty()) return ecInvalidTag;  // nothing to parse

  if (Char(S, 1) == '<') {
    // 2.1
    TagName.clear();
    Pos I = 2;
    while (Char(S, I) != -1 && Char(S, I) != ' ' && Char(S, I) != '/' && Char(S, I) != '>') {
      TagName += static_cast<char>(Char(S, I));
      ++I;
    }
    if (Char(S, I) == -1) return ecInvalidTag;  // the name runs to the end of the text
    // 2.2
    if (Char(S, I) == '/') {
      ++I;
      TagType = linexml::ttShorted;
      Closed = true;
    } else if (Char(S, I) == '>') {
      Closed = true;
    }
    // 2.3
    if (TagName.empty()) return ecInvalidTag;
    // 2.4
    Delete(S, 1, I);
    // 2.5
    if (!Closed) Status = ParseAttributes(S);
    // 2.6, mended: the closing tag's length is removed only when the closing tag was there.
    if (Status == ecOk && TagType == linexml::ttNormal) {
      const std::string E = "</" + TagName + ">";
      const bool HasClose = Find(E, S) > 0;
      Status = ParseChildren(S);
      if (Status == ecOk && HasClose) Delete(S, 1, Length(E));
    }
  } else {
    // 3.
    TagType = linexml::ttCDATA;
    TextData.clear();
    Pos I = 1;
    while (I <= Length(S) && Char(S, I) != '<') {
      TextData += static_cast<char>(Char(S, I));
      ++I;
    }
    Delete(S, 1, I - 1);
  }
  // 4.
  return Status;
}

TXMLErrorCode Node::ParseAttributes(std::string& S) {
  // 1.
  Attributes.clear();
  // 2. A tag without ">" is broken.
  if (Find(">", S) == 0) return ecInvalidTag;
  std::string A = Copy(S, 1, Find(">", S));
  Delete(S, 1, Length(A));
  // 3.
  if (Length(A) >= 2 && Char(A, Length(A) - 1) == '/') TagType = linexml::ttShorted;
  // 4.
  A += " ";
  // 5.
  TXMLErrorCode Status = ecOk;
  while (Find(" ", A) > 0) {
    std::string T = Copy(A, 1, Find(" ", A));
    Delete(A, 1, Length(T));
    if (T != "/> " && T != "> ") {
      Attr New;
      Status = ParseAttribute(New, T);
      Attributes.push_back(New);
    }
  }
  // 6.
  return Status;
}

TXMLErrorCode Node::ParseChildren(std::string& S) {
  // 1.
  const std::string E = "</" + TagName + ">";
  // 2.
  Children.clear();
  // 3.
  std::string K = Copy(S, 1, Find(E, S) - 1);
  Delete(S, 1, Length(K));
  // 4. Stops after the first child that fails.
  TXMLErrorCode Status = ecOk;
  while (!K.empty()) {
    auto Child = std::make_unique<Node>();
    Status = Child->ParseString(Level + 1, K);
    Children.push_back(std::move(Child));
    if (Status != ecOk) break;
  }
  // 5.
  return Status;
}

namespace {

std::string Quote(const std::string& S) {
  std::ostringstream Out;
  Out << '"';
  for (const char Ch : S) {
    const auto C = static_cast<unsigned char>(Ch);
    if (C >= 32 && C < 127 && C != '"' && C != '\\')
      Out << C;
    else
      Out << "\\x"
          << "0123456789abcdef"[C >> 4] << "0123456789abcdef"[C & 15];
  }
  Out << '"';
  return Out.str();
}

std::string DiffAt(const Node& M, const linexml::TXMLNode& E, const std::string& Path) {
  if (M.TagName != E.TagName())
    return Path + ": TagName " + Quote(M.TagName) + " (model) vs " + Quote(E.TagName()) + " (engine)";
  if (M.TextData != E.TextData())
    return Path + ": TextData " + Quote(M.TextData) + " vs " + Quote(E.TextData());
  if (M.Level != E.Level())
    return Path + ": Level " + std::to_string(M.Level) + " vs " + std::to_string(E.Level());
  if (M.TagType != E.TagType())
    return Path + ": TagType " + linexml::TagTypeName(M.TagType) + " vs " + linexml::TagTypeName(E.TagType());
  const auto& EA = E.Attributes();
  if (M.Attributes.size() != static_cast<std::size_t>(EA.Count()))
    return Path + ": " + std::to_string(M.Attributes.size()) + " attributes vs " + std::to_string(EA.Count());
  for (std::int32_t I = 0; I < EA.Count(); ++I) {
    const Attr& A = M.Attributes[static_cast<std::size_t>(I)];
    if (A.Name != EA[I]->Name || A.Value != EA[I]->Value)
      return Path + ": attribute " + std::to_string(I) + " " + Quote(A.Name) + "=" + Quote(A.Value) + " vs " +
             Quote(EA[I]->Name) + "=" + Quote(EA[I]->Value);
  }
  const auto& EC = E.Children();
  if (M.Children.size() != static_cast<std::size_t>(EC.Count()))
    return Path + ": " + std::to_string(M.Children.size()) + " children vs " + std::to_string(EC.Count());
  for (std::int32_t I = 0; I < EC.Count(); ++I) {
    std::string D = DiffAt(*M.Children[static_cast<std::size_t>(I)], *EC[I], Path + "/" + std::to_string(I));
    if (!D.empty()) return D;
  }
  return {};
}

}  // namespace

std::string DiffTrees(const Node& Model, const linexml::TXMLNode& Engine) {
  return DiffAt(Model, Engine, "root");
}

namespace {

// A piece that steers the parse, now and then a raw byte so no character class is left out.
void AddNoise(std::mt19937_64& Rng, std::string& Out) {
  static const char* const Pieces[] = {
      "<a>", "<b ", "</a>", "</b>",    "</a",   "</",       "<",        ">",  "/>",
      "/",   " ",   "  ",   "x=\"1\"", "y='2'", "z=\"3\">", "w=\"\"/>", "v",  "=",
      "\"",  "hi",  "<!x>", "<?p?>",   "?>",    "\t",       "</>",      "<>", "<a/",
  };
  constexpr std::size_t Count = sizeof(Pieces) / sizeof(Pieces[0]);
  std::uniform_int_distribution<std::size_t> Pick(0, Count);
  const std::size_t I = Pick(Rng);
  if (I == Count)
    Out += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(Rng));
  else
    Out += Pieces[I];
}

// One element of a small vocabulary of names (so same-name nesting happens) with attributes,
// children and text, usually well formed; Budget bounds the number of pieces.
void AddElement(std::mt19937_64& Rng, std::string& Out, std::size_t& Budget, int Depth) {
  static const char* const Names[] = {"a", "b", "ab", "c", "d", "e", "f"};
  static const char* const Attrs[] = {" x=\"1\"", " y='q'", " checked", " z=\"\"", " v=w", "  "};
  std::uniform_int_distribution<int> Percent(0, 99);
  const std::string Name = Names[std::uniform_int_distribution<int>(0, 6)(Rng)];
  if (Budget > 0) --Budget;
  Out += "<" + Name;
  const int NAttrs = std::uniform_int_distribution<int>(0, 2)(Rng);
  for (int I = 0; I < NAttrs; ++I) Out += Attrs[std::uniform_int_distribution<int>(0, 5)(Rng)];
  const int Kind = Percent(Rng);
  if (Kind < 20) {
    Out += Kind < 10 ? "/>" : " />";
    return;
  }
  Out += NAttrs > 0 && Kind < 30 ? " >" : ">";
  while (Budget > 0 && Percent(Rng) < 85) {
    --Budget;
    const int What = Percent(Rng);
    if (What < 50 && Depth < 40)
      AddElement(Rng, Out, Budget, Depth + 1);
    else if (What < 80)
      Out += What < 60 ? " text" : "t";
    else
      AddNoise(Rng, Out);
  }
  if (Percent(Rng) < 90) Out += "</" + Name + ">";  // now and then the closing tag is missing
}

}  // namespace

std::string RandomBody(std::mt19937_64& Rng, std::size_t MaxPieces) {
  std::size_t Budget = std::uniform_int_distribution<std::size_t>(0, MaxPieces)(Rng);
  std::string Body;
  std::uniform_int_distribution<int> Percent(0, 99);
  if (Percent(Rng) < 25) {
    // Loose pieces only.
    while (Budget-- > 0) AddNoise(Rng, Body);
    return Body;
  }
  while (Budget > 0) {
    if (Percent(Rng) < 85)
      AddElement(Rng, Body, Budget, 0);
    else {
      --Budget;
      AddNoise(Rng, Body);
    }
  }
  return Body;
}

}  // namespace model
