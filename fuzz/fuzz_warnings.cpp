// Every lossy reading is warned: documents built from the input bytes out of the constructs that
// linexml reads differently from an XML reader (values with spaces, tabs, references, unquoted or
// doubled attributes, "=" with white space around it, CDATA sections, instructions, comments, text
// beside elements, ...) are loaded by pugixml and by linexml; wherever both read a document and
// their readings differ, a warning of linexml's load must stand on the lines of the difference.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "xml_compare.h"

namespace {

// Each choice takes one input byte; once they are used up every choice is the first.
class Builder {
 public:
  Builder(const std::uint8_t* Data, std::size_t Size) : p_(Data), end_(Data + Size) {}

  std::string Document(linexml::TXMLLoadOptions& Options) {
    const unsigned Mode = Pick(8);
    Options.AcceptFullProlog = (Mode & 1) != 0;
    Options.AcceptNoDeclaration = (Mode & 2) != 0;
    if ((Mode & 6) != 6) out_ += Pick(kDeclarations);
    for (unsigned N = Pick(3); N > 0; --N) out_ += std::string(Pick(kBreaks)) + Pick(kPrologItems);
    out_ += Pick(kBreaks);
    Element(0);
    if (Pick(4) == 0) out_ += "\n<!-- after -->";
    out_ += Pick(kBreaks);
    return out_;
  }

 private:
  template <std::size_t N>
  using Table = const char* const[N];

  static constexpr Table<4> kDeclarations = {
      "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
      "<?xml version=\"1.0\"?> <!-- editor mode -->", "<?xml version='1.0' standalone='yes'?>"};
  static constexpr Table<6> kPrologItems = {
      "<!-- licence -->", "<?xml-stylesheet href=\"a.css\" type=\"text/css\"?>",
      "<!DOCTYPE r>",     "<!DOCTYPE r SYSTEM \"r.dtd\">",
      "<?pi a&b?>",       "<!--\n  two lines\n-->"};
  static constexpr Table<6> kBreaks = {"\n", "", "\n  ", "\r\n", "\n\n", "\n\t"};
  static constexpr Table<6> kNames = {"a", "b", "item", "x:y", "r", "long-name"};
  static constexpr Table<26> kAttributes = {
      "k=\"v\"",    "k='v'",          "k=\"two words\"",  "k = \"v\"",  "k= \"v\"",
      "k =\"v\"",   "k=\"a\tb\"",     "k=\"1\"\tm=\"2\"", "k=v",        "k=\"a&amp;b\"",
      "k=\"a&b\"",  "k='say \"hi\"'", "k=\"it's\"",       "k=\"a\nb\"", "k=\"a>b\"",
      "checked",    "k=\"\"",         "k=\"&#65;\"",      "m=\"2\"",    "k=\"x\" k=\"y\"",
      "k=\"a  b\"", "k=\"a\n\"",      "k=\"/\"",          "k=\"a\"/",   "k=\"&nbsp;\"",
      "n=\"1 \""};
  static constexpr Table<5> kTagGaps = {" ", "  ", "\n", "\n    ", "\t"};
  static constexpr Table<16> kTexts = {
      "hello", "two words", "x&amp;y",       "&lt;b&gt;",  "&#65;",
      "AT&T",  "tab\there", " spaced  out ", "a > b",      "line one\nline two",
      "end ",  " start",    "&unknown;",     "\"quoted\"", "it's",
      "t\t"};
  static constexpr Table<9> kOthers = {
      "<!-- note -->",    "<?pi data?>", "<![CDATA[x]]>", "<![CDATA[ <b> ]]>", "<![CDATA[http://host/]]>",
      "<![CDATA[a\nb]]>", "<?target?>",  "<![CDATA[]]>",  "<!-- a\n b -->"};

  unsigned Pick(unsigned N) { return p_ == end_ ? 0 : *p_++ % N; }
  template <std::size_t N>
  const char* Pick(const Table<N>& T) {
    return T[Pick(static_cast<unsigned>(N))];
  }

  void Element(int Depth) {
    const std::string Name = Pick(kNames);
    out_ += "<" + Name;
    for (unsigned N = Pick(4); N > 0; --N) out_ += Pick(kTagGaps) + std::string(Pick(kAttributes));
    const unsigned End = Pick(6);
    if (End == 0) {
      out_ += "/>";
      return;
    }
    if (End == 1) {
      out_ += Pick(kTagGaps) + std::string("/>");
      return;
    }
    out_ += ">";
    for (unsigned N = Depth < 4 ? Pick(6) : 0; N > 0 && p_ != end_; --N) {
      switch (Pick(5)) {
        case 0:
          Element(Depth + 1);
          break;
        case 1:
          out_ += Pick(kTexts);
          break;
        case 2:
          out_ += Pick(kOthers);
          break;
        default:
          out_ += Pick(kBreaks);
          break;
      }
    }
    out_ += Pick(3) == 0 ? Pick(kBreaks) : "";
    out_ += "</" + Name + ">";
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  std::string out_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size > 512) return 0;
  linexml::TXMLLoadOptions Options;
  Builder B(Data, Size);
  const std::string Doc = B.Document(Options);
  const compare::Outcome O = compare::Compare(Doc, Options);
  FUZZ_CHECK(O.Uncovered().empty(),
             "a difference without a warning in\n" + Doc + "\n--\n" + compare::Describe(Doc, O));
  return 0;
}
