// A loaded document edited through every public call a program can make on it: attributes set,
// nodes added, removed, moved and renamed, nodes of the tree parsed again (so the document's own
// nodes and nodes made later live side by side, in each other's subtrees), the prolog parsed
// again, paths selected, documents started anew, reloaded, saved and destroyed. Whatever happens,
// every node knows its parent and position. The input is a document, then (after its last NUL
// byte) the edit script, three bytes an operation.

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"

namespace {

using linexml::TXMLNode;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  const std::size_t Nul = Input.rfind('\0');
  const std::string Doc = Nul == std::string::npos ? Input : Input.substr(0, Nul);
  const std::string Script = Nul == std::string::npos ? std::string() : Input.substr(Nul + 1);
  static const char* const Names[] = {"a", "b", "id", "", "x y", "r"};

  linexml::TXMLParser P;
  (void)P.LoadFromText(Doc);
  std::vector<TXMLNode*> Nodes = fuzz::AllNodes(P.XMLRoot());
  for (std::size_t I = 0; I + 2 < Script.size() && I < 3 * 64; I += 3) {
    const auto Op = static_cast<unsigned char>(Script[I]);
    TXMLNode* N = Nodes[static_cast<unsigned char>(Script[I + 1]) % Nodes.size()];
    const auto Arg = static_cast<unsigned char>(Script[I + 2]);
    // A piece of the document as the text for a parse step.
    const std::size_t From = Doc.empty() ? 0 : Arg * 7 % Doc.size();
    std::string Text = Doc.substr(From, static_cast<std::size_t>(Arg % 64) * 8);
    try {
      switch (Op % 18) {
        case 0:
          N->SetAttributeValue(Names[Arg % 6], std::to_string(Arg));
          break;
        case 1:
          (void)N->ParseString(Arg % 4, Text);
          break;
        case 2:
          (void)N->ParseChildren(Text);
          break;
        case 3:
          (void)N->ParseAttributes(Text);
          break;
        case 4:
          (void)P.XMLParameters()->ParseString(Text);
          break;
        case 5:
          (void)P.LoadFromText(Arg % 2 ? Doc : Text);
          break;
        case 6: {
          const std::string Saved = P.SaveToText();
          (void)P.LoadFromText(Saved);
          break;
        }
        case 7:
          (void)N->GetAttributeValue(Names[Arg % 6]);
          (void)N->GetChild(Arg % 4 - 1);
          (void)P.FindTagByName(Names[Arg % 6]);
          break;
        case 8: {
          std::ostringstream Out;
          N->SaveToFile(Out);
          P.XMLParameters()->setXMLStyleSheet(Names[Arg % 6]);
          break;
        }
        case 9:
          (void)P.XMLRoot()->ParseString(0, Text);
          break;
        case 10:
          N->AddChild(Names[Arg % 6]);
          break;
        case 11:
          N->InsertText(Arg % 4, Text);
          break;
        case 12:
          N->RemoveChild(Arg % 4);
          break;
        case 13:
          N->MoveChild(Arg % 4, *Nodes[Arg % Nodes.size()], Arg % 3);
          break;
        case 14:
          N->SetTagName(Names[Arg % 6]);
          (void)N->RemoveAttribute(Names[(Arg / 6) % 6]);
          break;
        case 15:
          (void)N->SelectAll(Text);
          break;
        case 16: {
          // A node of no document takes part too: built nodes go in, loaded ones are refused.
          linexml::TXMLNode Loose;
          Loose.AddChild("loose")->AddText("t");
          if (Arg % 2 == 0)
            Loose.MoveChild(0, *N, 0);
          else if (N->GetNumberOfChildren() > 0)
            N->MoveChild(0, Loose, 0);
          break;
        }
        default:
          P.New(Names[Arg % 6]);
          break;
      }
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    } catch (const std::length_error&) {
    }
    const std::string Links = fuzz::LinkFaults(*P.XMLRoot());
    FUZZ_CHECK(Links.empty(), Links);
    Nodes = fuzz::AllNodes(P.XMLRoot());
  }
  std::ostringstream Out;
  P.SaveToStream(Out);
  FUZZ_CHECK(Out.str() == P.SaveToText(), "stream and text saves differ");
  return 0;
}
