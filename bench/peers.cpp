#include "peers.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <linexml/linexml.h>
#include <sys/stat.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pugixml.hpp>

namespace bench {
namespace {

// The read-only floor: one open, one fstat, one read into an uninitialised buffer.
class BaselineDoc final : public Doc {
 public:
  bool Load(const std::string& Path) override {
    const int F = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (F < 0) return false;
    struct stat St {};
    bool Ok = ::fstat(F, &St) == 0;
    size_ = Ok ? static_cast<std::size_t>(St.st_size) : 0;
    bytes_.reset(new char[size_]);  // no zero fill
    std::size_t Got = 0;
    while (Ok && Got < size_) {
      const ssize_t N = ::read(F, bytes_.get() + Got, size_ - Got);
      Ok = N > 0;
      if (Ok) Got += static_cast<std::size_t>(N);
    }
    ::close(F);
    return Ok;
  }
  bool Find(const std::string& Name) override {
    return std::string_view(bytes_.get(), size_).find("<" + Name) != std::string_view::npos;
  }
  bool Save(const std::string& Path) override {
    const int F = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (F < 0) return false;
    std::size_t Put = 0;
    bool Ok = true;
    while (Ok && Put < size_) {
      const ssize_t N = ::write(F, bytes_.get() + Put, size_ - Put);
      Ok = N > 0;
      if (Ok) Put += static_cast<std::size_t>(N);
    }
    return ::close(F) == 0 && Ok;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
};

class LinexmlDoc final : public Doc {
 public:
  // ToStream: save through SaveToStream into a std::ofstream, which skips SaveFile's temporary
  // file, fsync and rename; it shows what the layout costs apart from making the file durable.
  // Null: SaveToStream into /dev/null (the layout's own cost, without a disk).
  enum class Target { File, Stream, Null };
  // Threads: TXMLLoadOptions::Threads (0: as many as the load chooses, 1: the calling thread).
  explicit LinexmlDoc(Target To, std::uint32_t Threads = 0) : to_(To) {
    linexml::TXMLLoadOptions Options;
    Options.Threads = Threads;
    parser_.SetLoadOptions(Options);
  }
  bool Load(const std::string& Path) override {
    parser_.setFileName(Path);
    return parser_.XMLErrorCode() == linexml::ecOk;
  }
  bool Find(const std::string& Name) override { return parser_.FindTagByName(Name) != nullptr; }
  bool Save(const std::string& Path) override {
    if (to_ == Target::File) {
      parser_.SaveFile(Path);
      return true;
    }
    std::ofstream Out(to_ == Target::Null ? "/dev/null" : Path, std::ios::binary | std::ios::trunc);
    parser_.SaveToStream(Out);
    Out.close();
    return static_cast<bool>(Out);
  }

 private:
  Target to_;
  linexml::TXMLParser parser_;
};

// Document order, without a stack: down to the first child, else on to the next sibling of the
// nearest ancestor that has one. The peers keep parent links, so this is the natural search.
template <class Node, class First, class Next, class Parent, class Matches>
bool Walk(Node Root, First FirstChild, Next NextSibling, Parent ParentOf, Matches IsMatch) {
  Node N = FirstChild(Root);
  while (N) {
    if (IsMatch(N)) return true;
    if (Node C = FirstChild(N)) {
      N = C;
      continue;
    }
    while (N && N != Root && !NextSibling(N)) N = ParentOf(N);
    if (!N || N == Root) break;
    N = NextSibling(N);
  }
  return false;
}

class PugiDoc final : public Doc {
 public:
  bool Load(const std::string& Path) override { return doc_.load_file(Path.c_str()); }
  bool Find(const std::string& Name) override {
    // find_node walks the subtree in document order.
    const pugi::xml_node Root = doc_.document_element();
    return Root.find_node([&](pugi::xml_node N) { return Name == N.name(); });
  }
  bool Save(const std::string& Path) override { return doc_.save_file(Path.c_str()); }

 private:
  pugi::xml_document doc_;
};

class TinyDoc final : public Doc {
 public:
  bool Load(const std::string& Path) override { return doc_.LoadFile(Path.c_str()) == tinyxml2::XML_SUCCESS; }
  bool Find(const std::string& Name) override {
    using E = const tinyxml2::XMLElement*;
    return Walk(
        static_cast<E>(doc_.RootElement()), [](E N) { return N->FirstChildElement(); },
        [](E N) { return N->NextSiblingElement(); },
        [](E N) { return N->Parent() ? N->Parent()->ToElement() : nullptr; },
        [&](E N) { return Name == N->Name(); });
  }
  bool Save(const std::string& Path) override { return doc_.SaveFile(Path.c_str()) == tinyxml2::XML_SUCCESS; }

 private:
  tinyxml2::XMLDocument doc_;
};

class Libxml2Doc final : public Doc {
 public:
  explicit Libxml2Doc(int Options) : options_(Options) {}
  Libxml2Doc(const Libxml2Doc&) = delete;
  Libxml2Doc& operator=(const Libxml2Doc&) = delete;
  ~Libxml2Doc() override { Free(); }
  bool Load(const std::string& Path) override {
    Free();
    doc_ = xmlReadFile(Path.c_str(), nullptr, options_);
    return doc_ != nullptr;
  }
  bool Find(const std::string& Name) override {
    const auto* Wanted = reinterpret_cast<const xmlChar*>(Name.c_str());
    return Walk(
        xmlDocGetRootElement(doc_), [](xmlNodePtr N) { return N->children; },
        [](xmlNodePtr N) { return N->next; }, [](xmlNodePtr N) { return N->parent; },
        [&](xmlNodePtr N) { return N->type == XML_ELEMENT_NODE && xmlStrcmp(N->name, Wanted) == 0; });
  }
  bool Save(const std::string& Path) override { return xmlSaveFile(Path.c_str(), doc_) >= 0; }

 private:
  void Free() {
    if (doc_ != nullptr) xmlFreeDoc(doc_);
    doc_ = nullptr;
  }
  int options_;
  xmlDocPtr doc_ = nullptr;
};

}  // namespace

std::unique_ptr<Doc> MakeDoc(std::string_view Library) {
  if (Library == "baseline") return std::make_unique<BaselineDoc>();
  if (Library == "linexml") return std::make_unique<LinexmlDoc>(LinexmlDoc::Target::File);
  if (Library == "linexml-1t") return std::make_unique<LinexmlDoc>(LinexmlDoc::Target::File, 1);
  if (Library == "linexml-stream") return std::make_unique<LinexmlDoc>(LinexmlDoc::Target::Stream);
  if (Library == "linexml-null") return std::make_unique<LinexmlDoc>(LinexmlDoc::Target::Null);
  if (Library == "pugixml") return std::make_unique<PugiDoc>();
  if (Library == "tinyxml2") return std::make_unique<TinyDoc>();
  if (Library == "libxml2") return std::make_unique<Libxml2Doc>(0);
  // Its default options stop at 256 levels of nesting.
  if (Library == "libxml2-huge") return std::make_unique<Libxml2Doc>(XML_PARSE_HUGE);
  return nullptr;
}

const std::vector<std::string>& Libraries() {
  static const std::vector<std::string> Names{"baseline", "linexml", "pugixml", "tinyxml2", "libxml2"};
  return Names;
}

}  // namespace bench
