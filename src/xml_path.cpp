#include "linexml/xml_path.h"

#include "detail/path.h"
#include "linexml/xml_node.h"
#include "linexml/xml_parser.h"

namespace linexml {

namespace {

std::vector<const TXMLNode*> AsConst(std::vector<TXMLNode*> Nodes) {
  return {Nodes.begin(), Nodes.end()};
}

template <class Node>
Node* First(const std::vector<Node*>& All) {
  return All.empty() ? nullptr : All.front();
}

}  // namespace

TXMLPath::TXMLPath(std::string_view Text) : text_(Text), path_(std::make_shared<const detail::Path>(Text)) {}

bool TXMLPath::Absolute() const noexcept {
  return path_->Absolute();
}

std::vector<TXMLNode*> TXMLPath::SelectAll(TXMLNode& From) const {
  return path_->Run(From, path_->Absolute());
}

std::vector<const TXMLNode*> TXMLPath::SelectAll(const TXMLNode& From) const {
  return AsConst(path_->Run(From, path_->Absolute()));
}

std::vector<TXMLNode*> TXMLPath::SelectAll(TXMLParser& Document) const {
  return path_->Run(*Document.XMLRoot(), true);
}

std::vector<const TXMLNode*> TXMLPath::SelectAll(const TXMLParser& Document) const {
  return AsConst(path_->Run(*Document.XMLRoot(), true));
}

TXMLNode* TXMLPath::SelectFirst(TXMLNode& From) const {
  return First(SelectAll(From));
}

const TXMLNode* TXMLPath::SelectFirst(const TXMLNode& From) const {
  return First(SelectAll(From));
}

TXMLNode* TXMLPath::SelectFirst(TXMLParser& Document) const {
  return First(SelectAll(Document));
}

const TXMLNode* TXMLPath::SelectFirst(const TXMLParser& Document) const {
  return First(SelectAll(Document));
}

}  // namespace linexml
