#include "doc_text.h"

#include <algorithm>
#include <cstring>

namespace linexml::detail {
namespace {

bool IsTrimmed(char C) { return static_cast<unsigned char>(C) <= 32; }

const char* FindOr(const char* P, const char* End, char C) {
  if (P >= End) return End;  // also keeps a null pointer (empty input) away from memchr
  const void* Hit = std::memchr(P, C, static_cast<std::size_t>(End - P));
  return Hit == nullptr ? End : static_cast<const char*>(Hit);
}

}  // namespace

std::string_view TrimLine(std::string_view Line) {
  std::size_t B = 0, E = Line.size();
  while (B < E && IsTrimmed(Line[B])) ++B;
  while (E > B && IsTrimmed(Line[E - 1])) --E;
  return Line.substr(B, E - B);
}

char* CopyCollapsed(char* Out, std::string_view Line) {
  const char* P = Line.data();
  const char* const End = P + Line.size();
  while (P < End) {
    const char* Sp = FindOr(P, End, ' ');
    if (Sp == End) {
      std::memcpy(Out, P, static_cast<std::size_t>(End - P));
      return Out + (End - P);
    }
    std::memcpy(Out, P, static_cast<std::size_t>(Sp + 1 - P));
    Out += Sp + 1 - P;
    P = Sp + 1;
    while (P < End && *P == ' ') ++P;
  }
  return Out;
}

DocText::DocText(std::string_view Source) {
  // Every kept line costs at most its length plus the joining space, and every line but the last
  // has a terminator of at least one byte: one extra byte is enough.
  text_.resize(Source.size() + 1);
  char* const Base = text_.data();
  char* W = Base;

  const char* P = Source.data();
  const char* const End = P + Source.size();
  // The next LF and CR are remembered until passed, so a file of lone CRs is not rescanned.
  const char* NextLf = FindOr(P, End, '\n');
  const char* NextCr = FindOr(P, End, '\r');
  std::int32_t LineNo = 1;
  while (P < End) {
    if (NextLf < P) NextLf = FindOr(P, End, '\n');
    if (NextCr < P) NextCr = FindOr(P, End, '\r');
    const char* const Eol = std::min(NextLf, NextCr);
    const std::string_view Line = TrimLine(std::string_view(P, static_cast<std::size_t>(Eol - P)));
    if (!Line.empty()) {
      lines_.push_back({static_cast<std::size_t>(W - Base), LineNo});
      if (Line.front() != '<') *W++ = ' ';
      W = CopyCollapsed(W, Line);
    }
    if (Eol == End) break;
    P = Eol + 1;
    if (*Eol == '\r' && P < End && *P == '\n') ++P;
    ++LineNo;
  }
  text_.resize(static_cast<std::size_t>(W - Base));
  CutComments();
}

void DocText::CutComments() {
  char* const S = text_.data();
  const std::size_t N = text_.size();
  if (text_.find("<!--") == std::string::npos) return;

  // One pass, in place: W is the end of the text kept so far, R the next byte to read (W <= R).
  // The kept text never holds "<!--"; a new one can only end at the byte just copied, which is a
  // "-". This finds exactly the comments that cutting the first one and searching again from the
  // start would find, including those formed by text joined across a cut.
  std::size_t W = 0, R = 0;
  while (R < N) {
    const char* Dash = static_cast<const char*>(std::memchr(S + R, '-', N - R));
    const std::size_t Stop = Dash == nullptr ? N : static_cast<std::size_t>(Dash - S) + 1;
    std::memmove(S + W, S + R, Stop - R);
    W += Stop - R;
    R = Stop;
    if (Dash == nullptr || W < 4 || std::memcmp(S + W - 4, "<!--", 4) != 0) continue;

    // The comment starts at W - 4; its end is the first "-->" at or after that start, which may
    // overlap the "<!--" itself ("<!-->" is one comment).
    std::size_t After;
    if (R < N && S[R] == '>') {
      After = R + 1;
    } else if (R + 1 < N && S[R] == '-' && S[R + 1] == '>') {
      After = R + 2;
    } else {
      const std::size_t Close = text_.find("-->", R);
      if (Close == std::string::npos) break;  // unclosed: it stays, with the rest of the text
      After = Close + 3;
    }
    W -= 4;
    R = After;
    // A comment formed across an earlier cut starts before it: that cut's text is gone too.
    while (!cuts_.empty() && cuts_.back().offset >= W) cuts_.pop_back();
    cuts_.push_back({W, R - W});
  }
  if (R < N) {
    std::memmove(S + W, S + R, N - R);
    W += N - R;
  }
  text_.resize(W);
}

std::int32_t DocText::LineAt(std::size_t Pos) const {
  if (Pos >= text_.size()) return 0;
  std::size_t Joined = Pos;
  const auto Before = std::upper_bound(cuts_.begin(), cuts_.end(), Pos,
                                    [](std::size_t P, const DocText::Cut& C) { return P < C.offset; });
  if (Before != cuts_.begin()) Joined += std::prev(Before)->removed;
  const auto Line = std::upper_bound(lines_.begin(), lines_.end(), Joined,
                                     [](std::size_t P, const LineStart& L) { return P < L.offset; });
  return Line == lines_.begin() ? 0 : std::prev(Line)->line;
}

}  // namespace linexml::detail
