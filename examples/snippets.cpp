// The examples shown in the API reference (each between two "//! [name]" lines). Built and run as
// the test Examples.Snippets: snippets CATALOG OUT loads CATALOG, which must be examples/catalog.xml.
#include <linexml/linexml.h>

#include <iostream>
#include <string>

namespace {

int Fail(const std::string& What) {
  std::cerr << "snippets: " << What << "\n";
  return 1;
}

int LoadFindChangeSave(const std::string& In, const std::string& Out) {
  //! [load]
  linexml::TXMLParser Doc;
  Doc.setFileName(In);  // loads the file; loading never throws
  if (Doc.XMLErrorCode() != linexml::ecOk) {
    // "catalog.xml:17:5: ecInvalidTag: the closing tag "</b>" stands where an element was expected: ..."
    std::cerr << In << ":" << Doc.ErrorLine() << ":" << Doc.ErrorColumn() << ": "
              << linexml::ErrorCodeName(Doc.XMLErrorCode()) << ": " << Doc.ErrorMessage() << "\n";
    return 1;
  }
  //! [load]

  //! [find]
  // The root when it has that name, else the root's last child of that name, else a match below.
  linexml::TXMLNode* Address = Doc.FindTagByName("address");
  if (Address == nullptr) return 1;                       // no element of that name
  std::string City = Address->GetAttributeValue("city");  // "undefined" when it has none
  //! [find]
  if (City != "Kingsport") return Fail("city is " + City);

  //! [change]
  Address->SetAttributeValue("city", "Galway");  // changes the first "city", or appends one
  Address->SetAttributeValue("floor", "2");      // appended: written last in the tag
  //! [change]

  //! [save]
  try {
    Doc.SaveFile(Out);  // all or nothing: a failure leaves an earlier file of that name as it was
  } catch (const linexml::EInOutError& E) {
    std::cerr << E.what() << "\n";  // "FILE: the system's reason"
    return 1;
  }
  //! [save]

  linexml::TXMLParser Again;
  Again.setFileName(Out);
  const linexml::TXMLNode* Saved = Again.FindTagByName("address");
  if (Again.XMLErrorCode() != linexml::ecOk || Saved == nullptr) return Fail("the saved file does not load");
  if (Saved->GetAttributeValue("city") != "Galway" || Saved->GetAttributeValue("floor") != "2")
    return Fail("the change was not saved");
  return 0;
}

int WalkAndText() {
  //! [walk]
  linexml::TXMLParser Doc;
  Doc.LoadFromText("<?xml version=\"1.0\"?>\n<list>\n  <item n=\"1\"/>\n  some text\n</list>\n");
  for (const linexml::TXMLNode* Child : Doc.XMLRoot()->Children()) {
    if (Child->TagType() == linexml::ttCDATA)
      std::cout << "text: [" << Child->TextData() << "]\n";  // "[ some text]": its line's joining space
    else
      std::cout << "element: " << Child->TagName() << "\n";
  }
  std::string Layout = Doc.SaveToText();  // what SaveFile would write
  //! [walk]
  if (Doc.XMLRoot()->GetNumberOfChildren() != 2 || Doc.XMLRoot()->GetChild(1)->TextData() != " some text")
    return Fail("unexpected tree");
  if (Layout.find("  <item n=\"1\" />\n   some text\n") == std::string::npos)
    return Fail("unexpected layout");
  return 0;
}

int WarnAndInteroperate() {
  //! [interoperate]
  linexml::TXMLParser Doc;
  linexml::TXMLLoadOptions Options;
  Options.AcceptBOM = true;        // a UTF-8 byte-order mark before the declaration is skipped
  Options.CollectWarnings = true;  // where linexml reads the file differently from an XML reader
  Doc.SetLoadOptions(Options);     // for every later load
  Doc.LoadFromText("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- licence -->\n<a title=\"two words\"/>\n");
  for (const linexml::TXMLWarning& W : Doc.Warnings())
    std::cout << W.Line << ":" << W.Column << ": " << linexml::WarningKindName(W.Kind) << ": " << W.Text
              << "\n";
  // A declaration without "language", text inline, no empty document-type line; the mark kept.
  linexml::TXMLSaveOptions Layout = linexml::TXMLSaveOptions::Interoperable();
  Layout.ByteOrderMark = Doc.HadByteOrderMark();
  std::string Text = Doc.SaveToText(Layout);
  //! [interoperate]
  if (Doc.XMLErrorCode() != linexml::ecOk || Doc.Warnings().size() != 2) return Fail("unexpected warnings");
  if (Text.rfind("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n\n<a", 0) != 0)
    return Fail("unexpected interoperable layout");
  return 0;
}

int SelectByPath(const std::string& In) {
  linexml::TXMLParser Doc;
  Doc.setFileName(In);
  //! [select]
  // Every "day" of the store's opening hours, in document order, and the first "book" of each shelf.
  for (const linexml::TXMLNode* Day : Doc.SelectAll("/catalog/store/hours/day"))
    std::cout << Day->GetAttributeValue("name") << " ";
  const std::size_t FirstBooks = Doc.SelectAll("//shelf/book[1]").size();
  const linexml::TXMLNode* Hours = Doc.Select("//hours");  // the first match, or nullptr
  const linexml::TXMLNode* Sunday = Hours != nullptr ? Hours->Select("day[7]") : nullptr;  // from the node
  //! [select]
  std::cout << "\n";
  if (FirstBooks == 0 || Sunday == nullptr || Sunday->GetAttributeValue("name") != "sun")
    return Fail("unexpected selection");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: snippets CATALOG OUT");
  if (LoadFindChangeSave(argv[1], argv[2]) != 0) return 1;
  if (WarnAndInteroperate() != 0) return 1;
  if (SelectByPath(argv[1]) != 0) return 1;
  return WalkAndText();
}
