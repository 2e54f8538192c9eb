// Writes the benchmark documents: deterministic (a fixed seed and our own generator, so every
// machine gets the same bytes), well-formed XML and inside linexml's format (attribute values
// without spaces, ">" or "&"; text without "<" or "&"; no element nested in one of its own name).
//
// Usage: linexml_gen SHAPE SIZE OUT
//   SHAPE  records | text | deep            one tag per line, SIZE = bytes (about)
//          brs | comments | oneline | attrs  adversarial shapes for linexml alone, SIZE = bytes
//          chain                             a chain of SIZE nested elements
// Every document of the first group ends with one element named "end", the last element of the
// document and the only one of that name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// splitmix64: tiny, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(std::uint64_t Seed) : state_(Seed) {}
  std::uint64_t Next() {
    std::uint64_t Z = (state_ += 0x9E3779B97F4A7C15ULL);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBULL;
    return Z ^ (Z >> 31);
  }
  // Uniform enough in [Lo, Hi].
  std::size_t Range(std::size_t Lo, std::size_t Hi) {
    return Lo + static_cast<std::size_t>(Next() % (Hi - Lo + 1));
  }

 private:
  std::uint64_t state_;
};

constexpr std::string_view kWords[] = {
    "alpha",  "bravo",  "charlie", "delta", "echo",    "foxtrot", "golf",    "hotel",
    "india",  "juliet", "kilo",    "lima",  "mike",    "nov",     "oscar",   "papa",
    "quebec", "romeo",  "sierra",  "tango", "uniform", "victor",  "whiskey", "xray",
    "yankee", "zulu",   "the",     "of",    "and",     "a",       "to",      "in"};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

class Out {
 public:
  explicit Out(const char* Path) : f_(std::fopen(Path, "wb")) {
    if (f_ == nullptr) {
      std::perror(Path);
      std::exit(1);
    }
  }
  ~Out() {
    if (std::fclose(f_) != 0) {
      std::perror("close");
      std::exit(1);
    }
  }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  Out& operator<<(std::string_view S) {
    if (std::fwrite(S.data(), 1, S.size(), f_) != S.size()) {
      std::perror("write");
      std::exit(1);
    }
    size_ += S.size();
    return *this;
  }
  Out& operator<<(std::size_t N) { return *this << std::string_view(std::to_string(N)); }
  Out& Indent(std::size_t Level) { return *this << std::string(2 * Level, ' '); }
  std::size_t Size() const { return size_; }

 private:
  std::FILE* f_;
  std::size_t size_ = 0;
};

void Words(Out& O, Rng& R, std::size_t Count, bool ExtraSpaces) {
  for (std::size_t I = 0; I < Count; ++I) {
    if (I > 0) O << (ExtraSpaces && R.Range(0, 5) == 0 ? std::string_view("   ") : std::string_view(" "));
    O << kWords[R.Range(0, kWordCount - 1)];
  }
}

constexpr std::string_view kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A catalogue of records with 3-6 attributes and short text children.
void Records(Out& O, Rng& R, std::size_t Size, bool OneLine) {
  const std::string_view Nl = OneLine ? "" : "\n";
  auto Ind = [&](std::size_t L) -> Out& { return OneLine ? O : O.Indent(L); };
  O << kDecl << "<catalog>" << Nl;
  constexpr std::string_view kFields[] = {"title", "author", "note"};
  constexpr std::string_view kKinds[] = {"book", "disc", "map", "print"};
  for (std::size_t Id = 1; O.Size() < Size; ++Id) {
    Ind(1) << "<record id=\"r" << Id << "\" kind=\"" << kKinds[R.Range(0, 3)] << "\" price=\""
           << R.Range(1, 999) << "." << R.Range(10, 99) << "\"";
    const std::size_t Extra = R.Range(0, 3);
    if (Extra > 0) O << " qty=\"" << R.Range(0, 500) << "\"";
    if (Extra > 1) O << " shelf=\"s" << R.Range(1, 80) << "\"";
    if (Extra > 2) O << " year=\"" << R.Range(1900, 2025) << "\"";
    O << ">" << Nl;
    const std::size_t Fields = R.Range(1, 3);
    for (std::size_t F = 0; F < Fields; ++F) {
      Ind(2) << "<" << kFields[F] << ">" << Nl;
      if (OneLine) O << " ";
      Ind(3);
      Words(O, R, R.Range(1, 6), false);
      O << Nl;
      Ind(2) << "</" << kFields[F] << ">" << Nl;
    }
    if (R.Range(0, 3) == 0) Ind(2) << "<flag on=\"yes\"/>" << Nl;
    Ind(1) << "</record>" << Nl;
  }
  Ind(1) << "<end id=\"last\"/>" << Nl;
  O << "</catalog>\n";
}

// Long text lines with many spaces.
void Text(Out& O, Rng& R, std::size_t Size) {
  O << kDecl << "<book>\n";
  for (std::size_t Ch = 1; O.Size() < Size; ++Ch) {
    O.Indent(1) << "<chapter n=\"" << Ch << "\">\n";
    for (std::size_t P = 0; P < 20 && O.Size() < Size; ++P) {
      O.Indent(2) << "<para>\n";
      const std::size_t Lines = R.Range(1, 6);
      for (std::size_t L = 0; L < Lines; ++L) {
        O.Indent(3);
        Words(O, R, R.Range(10, 60), true);
        O << "\n";
      }
      O.Indent(2) << "</para>\n";
    }
    O.Indent(1) << "</chapter>\n";
  }
  O.Indent(1) << "<end id=\"last\"/>\n";
  O << "</book>\n";
}

// A forest of chains 1,000 levels deep, one tag per line. Not indented: at this depth the
// indentation alone would be most of the file.
void Deep(Out& O, Rng& R, std::size_t Size) {
  O << kDecl << "<forest>\n";
  while (O.Size() < Size) {
    for (std::size_t L = 0; L < 1000; ++L) O << "<d" << L << " n=\"" << R.Range(0, 99999) << "\">\n";
    Words(O, R, 5, false);
    O << "\n";
    for (std::size_t L = 1000; L-- > 0;) O << "</d" << L << ">\n";
  }
  O << "<end id=\"last\"/>\n</forest>\n";
}

// A root holding many <br> that are never closed.
void Brs(Out& O, std::size_t Size) {
  O << kDecl << "<root>\n";
  while (O.Size() < Size) O << "  <br>\n";
  O << "</root>\n";
}

// Records with comments between elements, inside text runs and inside tags.
void Comments(Out& O, Rng& R, std::size_t Size) {
  O << kDecl << "<catalog>\n";
  for (std::size_t Id = 1; O.Size() < Size; ++Id) {
    O << "  <!-- record " << Id << " -->\n";
    O << "  <record id=\"r" << Id << "\" <!-- inside a tag --> kind=\"book\">\n";
    O << "    <title>\n      ";
    Words(O, R, 3, false);
    O << " <!-- in a text run --> ";
    Words(O, R, 3, false);
    O << "\n    </title>\n";
    O << "    <!--\n      a comment over\n      several lines\n    -->\n";
    O << "  </record>\n";
  }
  O << "</catalog>\n";
}

// One element with very many attributes, all on one line.
void Attrs(Out& O, std::size_t Size) {
  O << kDecl << "<root";
  for (std::size_t I = 1; O.Size() < Size; ++I) O << " a" << I << "=\"v" << I << "\"";
  O << ">\n</root>\n";
}

// A chain of Depth nested elements of distinct names, one tag per line, not indented.
void Chain(Out& O, std::size_t Depth) {
  O << kDecl;
  for (std::size_t L = 0; L < Depth; ++L) O << "<c" << L << ">\n";
  O << "bottom\n";
  for (std::size_t L = Depth; L-- > 0;) O << "</c" << L << ">\n";
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 4) {
    std::fprintf(stderr, "usage: %s SHAPE SIZE OUT\n", Argv[0]);
    return 2;
  }
  const std::string_view Shape = Argv[1];
  const std::size_t Size = std::strtoull(Argv[2], nullptr, 10);
  Rng R(0x6C696E65786D6CULL);  // fixed seed: the documents are the same on every run
  Out O(Argv[3]);
  if (Shape == "records")
    Records(O, R, Size, false);
  else if (Shape == "oneline")
    Records(O, R, Size, true);
  else if (Shape == "text")
    Text(O, R, Size);
  else if (Shape == "deep")
    Deep(O, R, Size);
  else if (Shape == "brs")
    Brs(O, Size);
  else if (Shape == "comments")
    Comments(O, R, Size);
  else if (Shape == "attrs")
    Attrs(O, Size);
  else if (Shape == "chain")
    Chain(O, Size);
  else {
    std::fprintf(stderr, "unknown shape %s\n", Argv[1]);
    return 2;
  }
  return 0;
}
