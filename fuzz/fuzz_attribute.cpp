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

  // The tokenizers' shortcut parses Piece + " " without building it: the same attribute.
  if (Input.find(' ') == std::string::npos) {
    linexml::TXMLAttribute Token, Direct;
    Token.ParseToken(Input);
    std::string T = Input + " ";
    (void)Direct.ParseString(T);
    FUZZ_CHECK(Token.Name == Direct.Name && Token.Value == Direct.Value, "token shortcut");
  }
  return 0;
}
