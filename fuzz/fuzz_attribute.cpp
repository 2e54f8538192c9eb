// The attribute-value cut and the attribute token parse, against the reference model.

#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "model_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  FUZZ_CHECK(linexml::ParseAttributeValue(Input) == model::ParseAttributeValue(Input), "value cut");

  linexml::TXMLAttribute Engine;
  model::Attr Model;
  std::string SE = Input, SM = Input;
  FUZZ_CHECK(Engine.ParseString(SE) == linexml::ecOk, "attribute status");
  (void)model::ParseAttribute(Model, SM);
  FUZZ_CHECK(Engine.Name == Model.Name && Engine.Value == Model.Value && SE == SM,
             "attribute " + Engine.Name + "=" + Engine.Value);

  // An element's tag parses each token without building the token text: the same attribute as
  // ParseString on that token.
  if (Input.find_first_of(" >") == std::string::npos) {
    linexml::TXMLNode Node;
    std::string Tag = "<a " + Input + " >";
    FUZZ_CHECK(Node.ParseString(0, Tag) == linexml::ecOk && Node.Attributes().Count() == 1, "tag token");
    linexml::TXMLAttribute Direct;
    std::string T = Input + " ";
    (void)Direct.ParseString(T);
    const linexml::TXMLAttribute& Token = *Node.Attributes()[0];
    FUZZ_CHECK(Token.Name == Direct.Name && Token.Value == Direct.Value, "tag token " + Token.Name);
  }
  return 0;
}
