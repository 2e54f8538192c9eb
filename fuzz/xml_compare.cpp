#include "xml_compare.h"

#include <algorithm>
#include <cctype>
#include <pugixml.hpp>
#include <utility>

namespace compare {
namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

bool IsXmlSpace(char C) {
  return C == ' ' || C == '\t' || C == '\n' || C == '\r';
}

// Every run of white space as one space.
std::string Collapsed(std::string_view Text) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (!IsXmlSpace(Text[I])) {
      Out += Text[I];
      continue;
    }
    Out += ' ';
    while (I + 1 < Text.size() && IsXmlSpace(Text[I + 1])) ++I;
  }
  return Out;
}

// The start of every source line, split as a load splits them (LF, CRLF or a lone CR).
class Lines {
 public:
  explicit Lines(std::string_view Source) : size_(Source.size()) {
    starts_.push_back(0);
    for (std::size_t I = 0; I < Source.size(); ++I) {
      if (Source[I] == '\r' && I + 1 < Source.size() && Source[I + 1] == '\n') ++I;
      if (Source[I] == '\n' || Source[I] == '\r') starts_.push_back(I + 1);
    }
  }
  // The 1-based line of a byte offset; offsets past the end (or unknown, -1) give the last line.
  std::int64_t Of(std::ptrdiff_t Offset) const {
    if (Offset < 0 || static_cast<std::size_t>(Offset) >= size_) return Last();
    return std::upper_bound(starts_.begin(), starts_.end(), static_cast<std::size_t>(Offset)) -
           starts_.begin();
  }
  std::int64_t Last() const { return static_cast<std::int64_t>(starts_.size()); }

 private:
  std::size_t size_;
  std::vector<std::size_t> starts_;
};

// One child as both readings are compared: an element, a text or a processing instruction.
struct Item {
  enum Kind { kElement, kText, kInstruction } kind;
  std::string name;  // element name or instruction target
  std::string text;  // collapsed text
  std::ptrdiff_t at = -1;
  pugi::xml_node xml;                          // the XML reader's element
  const linexml::TXMLNode* linexml = nullptr;  // linexml's element
};

bool SameItem(const Item& A, const Item& B) {
  return A.kind == B.kind && A.name == B.name && A.text == B.text;
}

// Text of nothing but white space goes; the white space at both ends of the content does not count.
void Normalise(std::vector<Item>& Items) {
  std::erase_if(Items,
                [](const Item& I) { return I.kind == Item::kText && (I.text.empty() || I.text == " "); });
  if (Items.empty()) return;
  if (Items.front().kind == Item::kText && Items.front().text.starts_with(' '))
    Items.front().text.erase(0, 1);
  if (Items.back().kind == Item::kText && Items.back().text.ends_with(' ')) Items.back().text.pop_back();
}

std::vector<Item> XmlChildren(const pugi::xml_node& Parent) {
  std::vector<Item> Out;
  std::string Run;
  std::ptrdiff_t RunAt = -1;
  auto EndRun = [&] {
    if (RunAt >= 0) Out.push_back({Item::kText, {}, Collapsed(Run), RunAt, {}, nullptr});
    Run.clear();
    RunAt = -1;
  };
  for (pugi::xml_node N = Parent.first_child(); N; N = N.next_sibling()) {
    switch (N.type()) {
      case pugi::node_pcdata:
      case pugi::node_cdata:
        if (RunAt < 0) RunAt = N.offset_debug();
        Run += N.value();
        break;
      case pugi::node_element:
        EndRun();
        Out.push_back({Item::kElement, N.name(), {}, N.offset_debug(), N, nullptr});
        break;
      case pugi::node_pi:
        EndRun();
        Out.push_back({Item::kInstruction, N.name(), N.value(), N.offset_debug(), {}, nullptr});
        break;
      default:
        break;
    }
  }
  EndRun();
  Normalise(Out);
  return Out;
}

std::vector<Item> LinexmlChildren(const linexml::TXMLNode& Parent) {
  std::vector<Item> Out;
  for (const linexml::TXMLNode* N : Parent.Children()) {
    if (N->TagType() == linexml::ttCDATA)
      Out.push_back({Item::kText, {}, Collapsed(N->TextData()), -1, {}, nullptr});
    else
      Out.push_back({Item::kElement, N->TagName(), {}, -1, {}, N});
  }
  Normalise(Out);
  return Out;
}

Attributes XmlAttributes(const pugi::xml_node& N) {
  Attributes Out;
  for (const pugi::xml_attribute& A : N.attributes()) Out.emplace_back(A.name(), A.value());
  return Out;
}

Attributes LinexmlAttributes(const linexml::TXMLNode& N) {
  Attributes Out;
  for (const linexml::TXMLAttribute* A : N.Attributes()) Out.emplace_back(A->Name, A->Value);
  return Out;
}

// Where the next node after N and its subtree starts, in document order; -1 at the end.
std::ptrdiff_t After(pugi::xml_node N) {
  for (; N && N.type() != pugi::node_document; N = N.parent())
    if (pugi::xml_node Next = N.next_sibling()) return Next.offset_debug();
  return -1;
}

// Where the first thing inside N starts, else where the next node after it starts.
std::ptrdiff_t Inside(const pugi::xml_node& N) {
  return N.first_child() ? N.first_child().offset_debug() : After(N);
}

// Whether the two elements differ in their names, attributes or children (one level down).
bool ElementsDiffer(const pugi::xml_node& X, const linexml::TXMLNode& L) {
  if (X.name() != L.TagName() || XmlAttributes(X) != LinexmlAttributes(L)) return true;
  const std::vector<Item> XK = XmlChildren(X), LK = LinexmlChildren(L);
  return !std::equal(XK.begin(), XK.end(), LK.begin(), LK.end(), SameItem);
}

std::string Shown(const Item& I) {
  switch (I.kind) {
    case Item::kElement:
      return "<" + I.name + ">";
    case Item::kInstruction:
      return "<?" + I.name + " " + I.text + "?>";
    default:
      return "\"" + I.text + "\"";
  }
}

std::string ShownAttributes(const Attributes& A) {
  std::string Out;
  for (const auto& [Name, Value] : A) Out += " " + Name + "=\"" + Value + "\"";
  return Out;
}

// Latin-1 bytes as UTF-8, for a document that declares a Latin-1 encoding.
std::string Latin1ToUtf8(std::string_view Bytes) {
  std::string Out;
  for (const char C : Bytes) {
    const auto B = static_cast<unsigned char>(C);
    if (B < 128) {
      Out += C;
    } else {
      Out += static_cast<char>(0xC0 | (B >> 6));
      Out += static_cast<char>(0x80 | (B & 0x3F));
    }
  }
  return Out;
}

bool DeclaresLatin1(std::string_view Source) {
  const std::size_t End = Source.find("?>");
  if (!Source.starts_with("<?xml") || End == std::string_view::npos) return false;
  std::string Decl(Source.substr(0, End));
  for (char& C : Decl) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (const char* Name : {"iso-8859-1", "iso8859-1", "latin1", "latin-1", "windows-1252"})
    if (Decl.find(std::string("encoding=\"") + Name + "\"") != std::string::npos ||
        Decl.find(std::string("encoding='") + Name + "'") != std::string::npos)
      return true;
  return false;
}

}  // namespace

std::vector<Difference> Outcome::Uncovered() const {
  std::vector<Difference> Out;
  for (const Difference& D : differences) {
    const bool Covered = std::any_of(warnings.begin(), warnings.end(), [&](const linexml::TXMLWarning& W) {
      return W.Kind != linexml::wkCommentDropped && W.Line >= D.first && W.Line <= D.last;
    });
    if (!Covered) Out.push_back(D);
  }
  return Out;
}

Outcome Compare(std::string_view Source, linexml::TXMLLoadOptions Options, bool DecodeAsDeclared) {
  Outcome Out;
  Options.CollectWarnings = true;
  linexml::TXMLParser Linexml;
  Linexml.SetLoadOptions(Options);
  Out.status = Linexml.LoadFromText(Source);
  Out.linexml_reads = Out.status == linexml::ecOk;
  Out.message = Linexml.ErrorMessage();
  Out.warnings = Linexml.Warnings();

  const std::string Decoded =
      DecodeAsDeclared && DeclaresLatin1(Source) ? Latin1ToUtf8(Source) : std::string(Source);
  pugi::xml_document Xml;
  Out.xml_reads = Xml.load_buffer(Decoded.data(), Decoded.size(), pugi::parse_default | pugi::parse_pi,
                                  pugi::encoding_utf8);
  if (!Out.xml_reads || !Out.linexml_reads) return Out;

  const Lines At(Decoded);
  auto Differs = [&](std::ptrdiff_t From, std::ptrdiff_t To, std::string What) {
    Out.differences.push_back({At.Of(From), std::max(At.Of(From), At.Of(To)), std::move(What)});
  };

  // The document's own children: instructions in front of the root element, then the root.
  pugi::xml_node Root;
  for (pugi::xml_node N = Xml.first_child(); N && !Root; N = N.next_sibling()) {
    if (N.type() == pugi::node_element)
      Root = N;
    else if (N.type() == pugi::node_pi)
      Differs(N.offset_debug(), After(N),
              "the instruction <?" + std::string(N.name()) + "?> in front of the root element is not kept");
  }
  if (!Root) return Out;

  // Pairs of elements that both readings hold at the same place; walked without recursion.
  std::vector<std::pair<pugi::xml_node, const linexml::TXMLNode*>> Stack{{Root, Linexml.XMLRoot()}};
  while (!Stack.empty()) {
    const pugi::xml_node X = Stack.back().first;
    const linexml::TXMLNode* const L = Stack.back().second;
    Stack.pop_back();
    const std::ptrdiff_t Start = X.offset_debug();
    if (X.name() != L->TagName()) {
      Differs(Start, Inside(X), "element <" + std::string(X.name()) + "> is read as <" + L->TagName() + ">");
      continue;
    }
    const Attributes XA = XmlAttributes(X), LA = LinexmlAttributes(*L);
    if (XA != LA)
      Differs(Start, Inside(X),
              "attributes of <" + L->TagName() + ">:" + ShownAttributes(XA) + " are read as" +
                  ShownAttributes(LA));
    const std::vector<Item> XK = XmlChildren(X), LK = LinexmlChildren(*L);
    const std::size_t Common = std::min(XK.size(), LK.size());
    // Where the window around child I starts and ends: from the item before it (or the element)
    // to the item after it (or what follows the element).
    auto From = [&](std::size_t I) { return I == 0 ? Start : XK[I - 1].at; };
    auto To = [&](std::size_t I) { return I + 1 < XK.size() ? XK[I + 1].at : After(X); };
    // The children pair up by position up to I, where an element or instruction meets another.
    std::size_t I = 0;
    while (I < Common && (SameItem(XK[I], LK[I]) || (XK[I].kind == Item::kText && LK[I].kind == Item::kText)))
      ++I;
    // Children that no longer pair up often follow an element whose reading took in its siblings
    // (or gave its content away): the difference starts at the first such element, and the pairs
    // after it are no pairs.
    const bool Misaligned = I < Common || XK.size() != LK.size();
    std::size_t First = I;
    if (Misaligned)
      for (std::size_t J = 0; J < I; ++J)
        if (XK[J].kind == Item::kElement && ElementsDiffer(XK[J].xml, *LK[J].linexml)) {
          First = J;
          break;
        }
    for (std::size_t J = 0; J < I && (!Misaligned || J <= First); ++J) {
      if (XK[J].kind == Item::kElement)
        Stack.push_back({XK[J].xml, LK[J].linexml});
      else if (!SameItem(XK[J], LK[J]))
        Differs(From(J), To(J), "text " + Shown(XK[J]) + " is read as " + Shown(LK[J]));
    }
    if (I < Common)
      Differs(From(First), To(I),
              "in <" + L->TagName() + ">, " + Shown(XK[I]) + " is read as " + Shown(LK[I]));
    else if (XK.size() != LK.size())
      Differs(From(First), To(I),
              "<" + L->TagName() + "> has " + std::to_string(XK.size()) + " children, read as " +
                  std::to_string(LK.size()) + ": " + (I < XK.size() ? Shown(XK[I]) : Shown(LK[I])));
  }
  return Out;
}

std::string Describe(std::string_view Source, const Outcome& O) {
  std::string Out;
  std::vector<std::string_view> Text;
  for (std::size_t Start = 0;;) {
    const std::size_t End = Source.find('\n', Start);
    Text.push_back(
        Source.substr(Start, End == std::string_view::npos ? std::string_view::npos : End - Start));
    if (End == std::string_view::npos) break;
    Start = End + 1;
  }
  for (const Difference& D : O.Uncovered()) {
    Out += "  lines " + std::to_string(D.first) + "-" + std::to_string(D.last) + ": " + D.what + "\n";
    for (std::int64_t L = D.first; L <= D.last && L <= static_cast<std::int64_t>(Text.size()); ++L)
      Out += "    | " + std::string(Text[static_cast<std::size_t>(L - 1)].substr(0, 160)) + "\n";
  }
  for (const linexml::TXMLWarning& W : O.warnings)
    Out += "  warning " + std::to_string(W.Line) + ":" + std::to_string(W.Column) + " " +
           linexml::WarningKindName(W.Kind) + "\n";
  return Out;
}

}  // namespace compare
