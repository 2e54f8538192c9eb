// The text stage, on one thread and split between two, copied and in place, against a plain
// reference written from the rules, on crafted and random sources whose lines, runs of spaces and
// tags straddle the 16-byte steps and the split (the clang test build runs the same on the steps'
// scalar twin).
#include "detail/doc_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using linexml::detail::DocText;
using linexml::detail::DocTextOptions;
using linexml::detail::PageBuffer;
using linexml::detail::SourcePlace;

// The text and, for each of its bytes, the source line and column it stands for.
struct Reference {
  std::string text;
  std::vector<SourcePlace> places;
};

// Lines split at LF, CR LF or CR; each trimmed of its bytes 0..32 at both ends and its runs of
// spaces cut to one; empty lines left out; a line not starting with "<" joined with one space,
// which stands at the column of the line's first byte.
Reference Normalise(const std::string& Source, bool SkipBom) {
  Reference R;
  std::size_t P = 0;
  std::size_t Mark = 0;
  if (SkipBom && Source.compare(0, 3, "\xEF\xBB\xBF") == 0) P = Mark = 3;
  std::int64_t Line = 1;
  while (P <= Source.size()) {
    std::size_t E = P;
    while (E < Source.size() && Source[E] != '\n' && Source[E] != '\r') ++E;
    std::size_t B = P, T = E;
    while (B < T && static_cast<unsigned char>(Source[B]) <= 32) ++B;
    while (T > B && static_cast<unsigned char>(Source[T - 1]) <= 32) --T;
    if (B < T) {
      const std::int64_t Lead = static_cast<std::int64_t>(B - P + Mark);
      if (Source[B] != '<') {
        R.text += ' ';
        R.places.push_back({Line, Lead + 1});
      }
      for (std::size_t K = B; K < T; ++K) {
        if (Source[K] == ' ' && K > B && Source[K - 1] == ' ') continue;
        R.text += Source[K];
        R.places.push_back({Line, static_cast<std::int64_t>(K - P + Mark) + 1});
      }
    }
    Mark = 0;
    if (E == Source.size()) break;
    P = E + ((Source[E] == '\r' && E + 1 < Source.size() && Source[E + 1] == '\n') ? 2 : 1);
    ++Line;
  }
  return R;
}

std::string Spaces(std::size_t N) {
  return std::string(N, ' ');
}

// Sources that put every rule at and across the boundaries of the steps.
std::vector<std::string> Sources() {
  std::vector<std::string> Out = {
      "",
      "\n\n\r\n\r",
      "<a>",
      "  <a>  \n  text  \n</a>  ",
      "<a>\r\n  b\r\r\n\n  c</a>",
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<a/>",
      "\xEF\xBB\xBF\n<a/>",
      "<a>x" + Spaces(200) + "y</a>",
      "<a>" + Spaces(61) + "</a>" + Spaces(70) + "\n" + Spaces(64) + "z" + Spaces(64),
      std::string(63, 'a') + "</b>" + std::string(62, 'c') + "<" + "/d>",
      std::string(63, 'a') + "<" + "\n/d>",
      std::string(62, 'x') + "\r\n" + std::string(63, 'y') + "\r" + "\n" + "!",
      "\t<a>\t \t</a>\x01\n\x1F<b>  \t  </b>\x7F",
      std::string(127, '\n') + "<a>" + std::string(130, '\r') + "</a>",
      "<a>  <!-- x -->  </a>",
      // Split near the middle: what comes before the chosen line end must not leak into the half
      // after it (empty lines, a CR, runs of spaces, a "<" before a "/").
      "<a>\n\n  \r\n" + Spaces(40) + "x  y\n  \n\n" + Spaces(3) + "z</a>\n\n",
      "<a>" + Spaces(30) + "<\n/b>   c\r\n\r\n   d" + Spaces(30) + "\n e  f\n",
      std::string(40, '\n') + "<a>\n" + std::string(40, '\r') + "b\n",
      "\xEF\xBB\xBFq\n<a>  b  </a>",
      // A first line taken in one step (with room for one after it), behind a byte-order mark.
      "\xEF\xBB\xBF  <a>  b</a>\n" + std::string(80, 'x'),
      // Runs of spaces that start on a block's last byte, fill whole blocks, and trail a line over
      // two blocks (collapsed first, then trimmed away with the line's end).
      std::string(15, 'p') + Spaces(2) + std::string(14, 'q') + Spaces(18) + "r" + Spaces(40) + "\r\n" + "s" +
          Spaces(16) + "t" + Spaces(3) + "\t" + Spaces(31),
  };
  // Lines copied a block at a time (in place too, once the text is a block behind the source):
  // runs of every length from every offset of a block, one reaching past the block's end, and one
  // that ends the source.
  std::string Runs(40, '\n');
  for (std::size_t Offset = 0; Offset < 16; ++Offset)
    for (std::size_t Length = 2; Length <= 18; Length += 4)
      Runs += "<r>" + std::string(Offset, 'w') + Spaces(Length) + "v" + Spaces(Length % 3) + "</r>\n";
  Out.push_back(Runs + "<e>tail" + Spaces(21));
  // Short lines one after another, as an indented document has them (in place, the text is soon
  // a step behind the source): "<" or text first, indented by 0 to 20 bytes, 1 to 90 bytes
  // long, with a "!", a run of spaces or a CR LF now and then.
  std::string Short;
  for (std::size_t I = 0; I < 400; ++I)
    Short += Spaces(I % 21) + (I % 2 != 0 ? "<t>" : "x") + std::string(I % 11 * 8, 'k') +
             (I % 13 == 0 ? "!" : "") + (I % 17 == 0 ? "  y" : "") + (I % 19 == 0 ? "\r\n" : "\n");
  Out.push_back(Short);
  // More line records than the room reserved for them (a record of two bytes for every five),
  // and a copy that loses no byte on the source up to its end (each line's LF becomes a space).
  std::string Many, Full;
  for (std::size_t I = 0; I < 3000; ++I) Many += "<a/>\n";
  for (std::size_t I = 0; I < 100; ++I) Full += "xy\n";
  Out.push_back(Many);
  Out.push_back(Full);
  // A run far behind the one before (its record's position takes more than two bytes).
  Out.push_back("<a>  b</a>\n" + std::string(20000, 'x') + Spaces(3) + "y" + Spaces(2) + "z" +
                std::string(40, 'w'));
  // Random sources from pieces that steer the stage.
  std::mt19937_64 Rng(15);
  const char* Pieces[] = {" ", "  ",   "\t",  "\n", "\r", "\r\n", "<",
                          "/", "</a>", "<b>", "!",  "x",  "word", ">"};
  for (int Doc = 0; Doc < 60; ++Doc) {
    std::string S;
    const std::size_t Count = Rng() % 400;
    for (std::size_t I = 0; I < Count; ++I) {
      const std::size_t Pick = Rng() % (std::size(Pieces) + 2);
      if (Pick == std::size(Pieces))
        S += Spaces(Rng() % 80);
      else if (Pick == std::size(Pieces) + 1)
        S += std::string(Rng() % 80, 'q');
      else
        S += Pieces[Pick];
    }
    Out.push_back(S);
  }
  return Out;
}

DocText InPlace(const std::string& Source, DocTextOptions Options) {
  PageBuffer Bytes(Source.size() + 1);
  if (!Source.empty()) std::memcpy(Bytes.get() + 1, Source.data(), Source.size());
  return DocText(std::move(Bytes), Source.size(), Options);
}

TEST(DocText, BuildsTheReferenceText) {
  for (const std::string& Source : Sources()) {
    for (bool Bom : {false, true}) {
      const Reference Ref = Normalise(Source, Bom);
      for (bool Copied : {true, false}) {
        for (const auto& [Threads, Wide] : {std::pair{1u, true}, {2u, true}, {1u, false}, {2u, false}}) {
          SCOPED_TRACE(testing::Message()
                       << (Copied ? "copied" : "in place") << " bom " << Bom << " threads " << Threads
                       << (Wide ? " wide" : " narrow") << " source [" << Source << "]");
          // Two threads: every source is split, whatever its size. Narrow: 16-byte steps only.
          const DocTextOptions Options{Bom, false, Threads, 0, Wide};
          const DocText Doc = Copied ? DocText(Source, Options) : InPlace(Source, Options);
          if (Ref.text.find("<!--") == std::string::npos) {
            ASSERT_EQ(Doc.Text(), Ref.text);
          }
          // Each byte of the text traces back to its place in the source (before comments were cut).
          DocText::Locator L(Doc);
          for (std::size_t P = 0; P < Doc.Text().size(); ++P) {
            const std::size_t Joined = Doc.JoinedAt(P);
            const SourcePlace Got = L.At(Joined);
            ASSERT_EQ(Got.line, Ref.places[Joined].line) << "at " << P;
            ASSERT_EQ(Got.column, Ref.places[Joined].column) << "at " << P;
          }
        }
      }
    }
  }
}

// A large text given back behind the parse keeps every byte from the position on, wherever the
// position falls against the pages given back.
TEST(DocText, GivingTextBackKeepsTheBytesFromThePositionOn) {
  std::string Source;
  for (std::size_t N = 0; Source.size() < (std::size_t{33} << 20); ++N)
    Source += "  <a n=\"" + std::to_string(N) + "\">text  " + std::to_string(N) + "</a>\n";
  DocText Doc(Source);
  const std::string Expected(Doc.Text());
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (const std::size_t Pos : {std::size_t{1}, 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, 7 * kMiB + 3, 20 * kMiB,
                                20 * kMiB, 28 * kMiB + 4095, Expected.size()}) {
    Doc.ReleaseBefore(Pos);
    ASSERT_EQ(Doc.Text().substr(Pos), std::string_view(Expected).substr(Pos)) << "released before " << Pos;
  }
}

TEST(DocText, NoticesComments) {
  const std::string Bang = std::string(70, 'a') + "<b>te!xt</b>";
  const std::string Comment = std::string(70, 'a') + "<b>te<!-- c -->xt</b>";
  EXPECT_EQ(DocText(Bang).Text(), " " + Bang);
  const DocText Cut(Comment, {false, true});
  EXPECT_EQ(Cut.Text(), " " + std::string(70, 'a') + "<b>text</b>");
  EXPECT_EQ(Cut.CommentsCut().size(), 1u);
  // On a short line among others, each taken whole in one step, copied and in place.
  std::string Lines, Kept;
  for (int I = 0; I < 40; ++I) {
    Lines += Spaces(8) + (I == 30 ? "<!-- c -->" : "<b/>") + "\n";
    if (I != 30) Kept += "<b/>";
  }
  for (bool Wide : {true, false}) {
    const DocTextOptions Options{false, true, 1, 0, Wide};
    EXPECT_EQ(DocText(Lines, Options).Text(), Kept) << "wide " << Wide;
    EXPECT_EQ(InPlace(Lines, Options).Text(), Kept) << "wide " << Wide;
  }
}

}  // namespace
