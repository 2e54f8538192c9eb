// Everyday program 3: build a new document from nothing and save it. Run as the test
// Examples.BuildDocument: build_document OUT.
#include <linexml/linexml.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: build_document OUT\n";
    return 2;
  }
  //! [build]
  linexml::TXMLParser Doc;
  Doc.New("order");  // the root element; the declaration keeps its defaults
  linexml::TXMLNode* Order = Doc.XMLRoot();
  Order->SetAttribute("id", "A-1042");
  linexml::TXMLNode* Customer = Order->AddChild("customer");
  Customer->SetAttribute("country", "IE");
  Customer->AddText("Aoife Brennan");
  linexml::TXMLNode* Lines = Order->AddChild("lines");
  for (const char* Isbn : {"978-1-915001-01-4", "978-1-915002-03-5"})
    Lines->AddChild("line")->SetAttribute("isbn", Isbn);
  Doc.SaveFile(argv[1]);  // throws EInOutError when the file cannot be written
  //! [build]
  std::cout << Doc.SaveToText();

  // What a test of this example checks: the file loads back to the same document.
  linexml::TXMLParser Again;
  Again.setFileName(argv[1]);
  // (A text run comes back with one space in front: it is written on a line of its own.)
  const linexml::TXMLNode* Name = Again.Select("/order/customer");
  return Again.XMLErrorCode() == linexml::ecOk && Name != nullptr && Name->Text() == "Aoife Brennan" &&
                 Again.SelectAll("/order/lines/line").size() == 2 && !Again.FirstUnwritable()
             ? 0
             : 1;
}
