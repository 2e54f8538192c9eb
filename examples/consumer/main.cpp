// consumer IN OUT: loads IN, marks its root element reviewed="yes" and saves the result as OUT.
#include <linexml/linexml.h>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: consumer IN OUT\n";
    return 2;
  }
  linexml::TXMLParser Parser;
  Parser.setFileName(argv[1]);
  if (Parser.XMLErrorCode() != linexml::ecOk) {
    std::cerr << argv[1] << ":" << Parser.ErrorLine() << ": " << linexml::ErrorCodeName(Parser.XMLErrorCode())
              << "\n";
    return 1;
  }
  linexml::TXMLNode* Root = Parser.XMLRoot();
  Root->SetAttributeValue("reviewed", "yes");
  try {
    Parser.SaveFile(argv[2]);
  } catch (const linexml::EInOutError& E) {
    std::cerr << E.what() << "\n";
    return 1;
  }
  std::cout << "linexml " << LINEXML_VERSION_STRING << ": " << Root->TagName() << " with "
            << Root->GetNumberOfChildren() << " children saved to " << argv[2] << "\n";
  return 0;
}
