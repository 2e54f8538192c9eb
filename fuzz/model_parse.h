#pragma once

// A plain reference model of the tree parse, written step by step from the algorithm the library
// documents: 1-based find/copy/delete on std::string, the document consumed from the front, one
// recursive call per node. It is slow on purpose and exists only to be compared with the library's
// cursor-based engine (by the differential fuzz target and by a unit test).
//
// It includes the library's decisions where the algorithm leaves room:
// - a scan that the text does not bound (tag name to the end, no ">" for the attributes, an empty
//   text) stops with ecInvalidTag;
// - a token without "=" is a valueless attribute named by the token without its trailing space and
//   without a closing ">", "/>" or "?>";
// - a missing closing tag removes nothing after the children step;
// - the children loop stops after the first child whose status is not ecOk.

#include <linexml/linexml.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace model {

struct Attr {
  std::string Name;
  std::string Value;
};

struct Node {
  std::string TagName;
  std::string TextData;
  std::int32_t Level = 0;
  linexml::TTagType TagType = linexml::ttNormal;
  std::vector<std::unique_ptr<Node>> Children;
  std::vector<Attr> Attributes;

  linexml::TXMLErrorCode ParseString(std::int32_t ALevel, std::string& S);
  linexml::TXMLErrorCode ParseAttributes(std::string& S);
  linexml::TXMLErrorCode ParseChildren(std::string& S);
};

std::string ParseAttributeValue(const std::string& S);
// TXMLAttribute.ParseString on a new attribute.
linexml::TXMLErrorCode ParseAttribute(Attr& A, std::string& S);

// Empty when the trees are equal, else the path to and the kind of the first difference.
std::string DiffTrees(const Node& Model, const linexml::TXMLNode& Engine);

// A random document body built from the pieces that steer the parse (tags of a few names, closing
// tags, attributes, "/>", stray "<", ">", "/" and spaces, text). Length about MaxPieces * 4 bytes.
std::string RandomBody(std::mt19937_64& Rng, std::size_t MaxPieces);

}  // namespace model
