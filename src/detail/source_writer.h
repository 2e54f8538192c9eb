#pragma once

#include <optional>

#include "linexml/xml_options.h"
#include "linexml/xml_parser.h"
#include "source_map.h"
#include "writer.h"

namespace linexml::detail {

// A save that keeps the source (TXMLSaveOptions::PreserveSource): the bytes of Map's source with
// only what changed since the load written anew, in the order of the tree as it is now.
//
// - The prolog and what follows the root are copied; the declaration, a style-sheet link and the
//   document-type line are written anew only when they changed.
// - A node whose subtree is untouched is copied as one range. In an element that changed, its
//   start tag keeps its bytes but for the attributes that changed (a value replaced with a quote it
//   allows, a removed one taken out with the space in front, new ones at the end) and its name; its
//   children keep their places and the bytes between them, a removed child goes with its lines when
//   it stood on lines of its own, else only its own bytes; a new or moved child goes on a line of
//   its own after the child before it, indented like its siblings.
// - A node that the load did not make is written in the library's layout at its place.
void WritePreserved(Writer& W, const SourceMap& Map, const TXMLParameters& Params, const TXMLNode& Root,
                    const TXMLSaveOptions& Options);

// The line (from 1) on which WritePreserved writes Target; 0 when it is not in the document.
std::int64_t LineWrittenPreserved(const SourceMap& Map, const TXMLParameters& Params, const TXMLNode& Root,
                                  const TXMLNode& Target, const TXMLSaveOptions& Options);

// The first part that WritePreserved writes anew and that a load would not read back the same, or
// nothing: the rules of what a save can carry on what is new or changed, then a load of what the
// save writes (with Load's options), compared with the document.
std::optional<TXMLUnwritable> FindUnwritablePreserved(const SourceMap& Map, const TXMLParameters& Params,
                                                      const TXMLNode& Root, const TXMLSaveOptions& Options,
                                                      const TXMLLoadOptions& Load);

}  // namespace linexml::detail
