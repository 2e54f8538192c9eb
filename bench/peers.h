#pragma once

// One document of each library behind the same three jobs, so the benchmarks and the peak-memory
// loader run exactly the same code: load a file, find an element by name, save to a file.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

class Doc {
 public:
  virtual ~Doc() = default;
  // False when the library reports a failure.
  virtual bool Load(const std::string& Path) = 0;
  // Searches the descendants of the document element for an element named Name.
  virtual bool Find(const std::string& Name) = 0;
  virtual bool Save(const std::string& Path) = 0;
};

// "baseline" (reads the file into one buffer; saves it back as it is), "linexml",
// "linexml-1t" (every load on the calling thread: TXMLLoadOptions::Threads = 1),
// "linexml-stream" (saves with SaveToStream into a std::ofstream: no fsync, no rename),
// "linexml-null" (saves with SaveToStream into /dev/null: the layout alone), "pugixml",
// "tinyxml2", "libxml2", "libxml2-huge" (with XML_PARSE_HUGE, which lifts its limit of 256 levels
// of nesting); nullptr for any other name. Libraries() lists them at their default options.
std::unique_ptr<Doc> MakeDoc(std::string_view Library);
const std::vector<std::string>& Libraries();

}  // namespace bench
