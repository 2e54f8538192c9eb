// Everyday program 2: change a value and add an element with a text child, then save. Run as the
// test Examples.ChangeConfig: change_config CONFIG OUT, with CONFIG examples/config.xml.
#include <linexml/linexml.h>

#include <iostream>
#include <stdexcept>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: change_config CONFIG OUT\n";
    return 2;
  }
  linexml::TXMLParser Config;
  Config.setFileName(argv[1]);
  if (Config.XMLErrorCode() != linexml::ecOk) {
    std::cerr << argv[1] << ":" << Config.ErrorLine() << ": " << linexml::ErrorCodeName(Config.XMLErrorCode())
              << "\n";
    return 1;
  }
  linexml::TXMLNode* Pool = Config.Select("/config/database/pool");
  linexml::TXMLNode* Features = Config.Select("/config/features");
  if (Pool == nullptr || Features == nullptr) return 1;
  try {
    //! [change]
    Pool->SetAttribute("size", "16");                            // the first "size", or a new one at the end
    linexml::TXMLNode* Feature = Features->AddChild("feature");  // "<feature />" until it has a child
    Feature->SetAttribute("name", "express");
    Feature->AddChild("note")->AddText("Same-day delivery in town.");
    //! [change]
  } catch (const std::invalid_argument& E) {
    // A name, value or text that a save could not write so that a load reads it back the same:
    // "SetAttribute: byte 3 of the value is ' ', which ends an attribute". Nothing was changed.
    std::cerr << E.what() << "\n";
    return 1;
  }
  // Whatever the edits made, the document is checked before it is saved.
  if (const auto Fault = Config.FirstUnwritable()) {
    std::cerr << "not saved: " << Fault->Reason << "\n";
    return 1;
  }
  try {
    Config.SaveFile(argv[2]);  // all or nothing: a failure leaves an earlier file as it was
  } catch (const linexml::EInOutError& E) {
    std::cerr << E.what() << "\n";
    return 1;
  }

  // What a test of this example checks: the saved file holds the changes.
  linexml::TXMLParser Saved;
  Saved.setFileName(argv[2]);
  const linexml::TXMLNode* Note = Saved.Select("//feature[3]/note");
  return Saved.XMLErrorCode() == linexml::ecOk && Note != nullptr &&
                 Note->Text() == "Same-day delivery in town." &&
                 Saved.Select("//pool")->GetAttributeValue("size") == "16"
             ? 0
             : 1;
}
