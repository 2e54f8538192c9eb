#include "source_writer.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bytes.h"
#include "linexml/xml_docType.h"
#include "linexml/xml_node.h"
#include "linexml/xml_parameters.h"
#include "quote.h"
#include "sink.h"
#include "writable.h"

namespace linexml::detail {
namespace {

using Record = SourceMap::Node;
constexpr std::uint32_t kNone = SourceMap::kNone;

// Calls Each(A, K) for every attribute A of N in order, K being the index among the load's
// attributes of R (null: a node the load did not make) of the one that A is, or R->attributes when
// A is new. The load's attributes keep their order (edits only remove them or append new ones), so
// what is not found after the last one found is new: one pass over both lists.
template <class Fn>
void MatchAttributes(const SourceMap& Map, const TXMLNode& N, const Record* R, Fn&& Each) {
  const std::uint32_t Count = R == nullptr ? 0 : R->attributes;
  const SourceMap::Attribute* Loaded = R == nullptr ? nullptr : Map.Attributes().data() + R->first_attribute;
  std::uint32_t J = 0;
  bool Appended = false;
  for (const TXMLAttribute* A : N.Attributes()) {
    std::uint32_t K = J;
    if (!Appended)
      while (K < Count && Loaded[K].attribute != A) ++K;
    if (Appended || K == Count) {
      Appended = true;
      Each(A, Count);
      continue;
    }
    Each(A, K);
    J = K + 1;
  }
}

// What one pass over the tree as it is now finds against the records of the load.
class Survey {
 public:
  enum : std::uint8_t {
    kKept = 1,  // stands under its parent of the load, in the order of the load
    kDirty = 2  // something in its subtree changed (its start tag, text, children or below)
  };

  Survey(const SourceMap& Map, const TXMLNode& Root) : map_(Map), flags_(Map.Nodes().size(), 0) {
    // Pre-order along the links (no stack); a node's flags reach its parent when it is left.
    const TXMLNode* N = &Root;
    for (;;) {
      Enter(*N);
      if (N->GetNumberOfChildren() > 0) {
        N = N->Children().begin()[0];
        continue;
      }
      for (;;) {
        Leave(*N);
        if (N == &Root) return;
        if (const TXMLNode* Next = N->NextSibling()) {
          N = Next;
          break;
        }
        N = N->Parent();
      }
    }
  }

  bool Kept(std::uint32_t R) const { return R != kNone && (flags_[R] & kKept) != 0; }
  bool Dirty(std::uint32_t R) const { return R == kNone || (flags_[R] & kDirty) != 0; }
  // The attributes of N are those of the load, unchanged.
  static bool SameAttributes(const SourceMap& Map, const TXMLNode& N, const Record& R) {
    const TList<TXMLAttribute>& Now = N.Attributes();
    if (Now.Count() != static_cast<std::int32_t>(R.attributes)) return false;
    const SourceMap::Attribute* Loaded = Map.Attributes().data() + R.first_attribute;
    for (std::int32_t I = 0; I < Now.Count(); ++I) {
      const TXMLAttribute* A = Now.begin()[I];
      if (A != Loaded[I].attribute || A->Name != Loaded[I].name || A->Value != Loaded[I].value) return false;
    }
    return true;
  }

 private:
  void MarkDirty(const TXMLNode* N) {
    if (N == nullptr) return;
    if (const std::uint32_t R = map_.Find(N); R != kNone) flags_[R] |= kDirty;
  }

  void Enter(const TXMLNode& N) {
    const std::uint32_t R = map_.Find(&N);
    if (R == kNone) {
      MarkDirty(N.Parent());
      return;
    }
    const std::vector<Record>& Nodes = map_.Nodes();
    const Record& Rec = Nodes[R];
    bool Clean = N.TagType() == Rec.kind &&
                 (N.TagType() == ttCDATA ? &N.TextData() : &N.TagName()) == Rec.loaded &&
                 SameAttributes(map_, N, Rec);
    // The children of the load, the same objects in the same order?
    const TList<TXMLNode>& Kids = N.Children();
    std::int32_t I = 0;
    std::uint32_t C = R + 1;
    for (; I < Kids.Count() && C < Rec.end && Kids.begin()[I] == Nodes[C].node; ++I) C = Nodes[C].end;
    if (I == Kids.Count() && C >= Rec.end) {
      for (C = R + 1; C < Rec.end; C = Nodes[C].end) flags_[C] |= kKept;
    } else {
      Clean = false;
      // Those that keep their place: of the load's children of N, each one after the last kept.
      std::uint32_t Last = R;
      for (const TXMLNode* K : Kids) {
        const std::uint32_t KR = map_.Find(K);
        if (KR != kNone && Nodes[KR].parent == R && KR > Last) {
          flags_[KR] |= kKept;
          Last = KR;
        }
      }
    }
    if (!Clean) flags_[R] |= kDirty;
  }

  void Leave(const TXMLNode& N) {
    const std::uint32_t R = map_.Find(&N);
    if (R != kNone && (flags_[R] & kDirty) != 0) MarkDirty(N.Parent());
  }

  const SourceMap& map_;
  std::vector<std::uint8_t> flags_;
};

class PreservedSave {
 public:
  PreservedSave(Writer& W, const SourceMap& Map, const TXMLSaveOptions& Options, const Survey& Found)
      : w_(W), map_(Map), src_(Map.Source()), options_(Options), survey_(Found), nodes_(Map.Nodes()) {
    eol_ = LineEnd();
  }

  // Writes the document; with Stop, only up to where that node begins (true when it was met).
  bool Document(const TXMLParameters& Params, const TXMLNode& Root, const TXMLNode* Stop = nullptr) {
    stop_ = Stop;
    stop_record_ = Stop == nullptr ? kNone : map_.Find(Stop);
    const Record& R = nodes_[0];
    Prolog(Params, R.start);
    Emit(Root, std::string(Indentation(R.start).value_or(std::string_view())), false);
    while (!stack_.empty() && !stopped_) Step();
    if (!stopped_) Copy(R.End(), src_.size());
    return stopped_;
  }

 private:
  enum class Kind : std::uint8_t {
    kInPlace,  // an element of the load that had its closing tag: children between its tags
    kAppend,   // one of the load without a closing tag (self-closing, unclosed): children appended
    kLayout    // a new element: the library's layout
  };
  struct Frame {
    const TXMLNode* node;
    std::uint32_t record;  // kNone for kLayout
    Kind kind;
    std::string indent;          // the element's own indentation
    std::int32_t next = 0;       // the next of its children to write
    std::uint32_t original = 0;  // kInPlace: the next child record of the load not yet passed
    std::size_t src = 0;         // kInPlace: the source is written up to here
    bool inserted = false;       // kInPlace: children were inserted since the last kept one
    // kInPlace: the indentation of the last kept child written, when it began its line.
    std::optional<std::string_view> kept_indent{};
    bool child_indent_known = false;
    std::string child_indent{};
  };

  void Copy(std::size_t From, std::size_t To) {
    if (To > From) w_.Put(src_.substr(From, To - From));
  }
  static void CopyTo(Frame& F, std::size_t To, PreservedSave& S) {
    if (To > F.src) {
      S.Copy(F.src, To);
      F.src = To;
    }
  }

  // The line end of the source (its first), or the options' when it has a single line.
  std::string LineEnd() const {
    const std::size_t At = src_.find_first_of("\r\n");
    if (At == std::string_view::npos) return options_.LineEnding == leCRLF ? "\r\n" : "\n";
    if (src_[At] == '\n') return "\n";
    return At + 1 < src_.size() && src_[At + 1] == '\n' ? "\r\n" : "\r";
  }

  // The blanks in front of Pos when only blanks stand before it on its line.
  std::optional<std::string_view> Indentation(std::size_t Pos) const {
    std::size_t B = Pos;
    while (B > 0 && IsSpaceOrTab(src_[B - 1])) --B;
    if (B > 0 && !IsLineBreak(src_[B - 1])) return std::nullopt;
    return src_.substr(B, Pos - B);
  }
  bool RestOfLineBlank(std::size_t Pos) const {
    while (Pos < src_.size() && IsSpaceOrTab(src_[Pos])) ++Pos;
    return Pos == src_.size() || IsLineBreak(src_[Pos]);
  }

  // One level of indentation: what the source shows between an element and its first child when
  // both begin their lines (among the first records; each line is looked at once), else what the
  // options say.
  const std::string& StepIndent() {
    if (step_known_) return step_;
    step_known_ = true;
    const std::size_t Look = std::min<std::size_t>(nodes_.size(), 4096);
    for (std::size_t C = 1; C < Look && step_.empty(); ++C) {
      if (nodes_[C].parent != C - 1) continue;
      const auto Inner = Indentation(nodes_[C].start);
      const auto Outer = Indentation(nodes_[nodes_[C].parent].start);
      if (Inner && Outer && Inner->size() > Outer->size() && Inner->starts_with(*Outer))
        step_ = Inner->substr(Outer->size());
    }
    if (step_.empty())
      step_ = options_.IndentWithTabs
                  ? std::string("\t")
                  : std::string(static_cast<std::size_t>(std::clamp(options_.IndentWidth, 0, 255)), ' ');
    return step_;
  }

  // The indentation of F's children: that of its first child of the load that begins a line, else
  // F's own and one step more.
  const std::string& ChildIndent(Frame& F) {
    if (F.child_indent_known) return F.child_indent;
    F.child_indent_known = true;
    if (F.kind == Kind::kInPlace) {
      const Record& R = nodes_[F.record];
      for (std::uint32_t C = F.record + 1; C < R.end; C = nodes_[C].end) {
        if (const auto In = Indentation(nodes_[C].start)) {
          F.child_indent = *In;
          return F.child_indent;
        }
      }
    }
    F.child_indent = F.indent + StepIndent();
    return F.child_indent;
  }

  // A value between the quote the source used, or the other one when the value holds that one
  // and not the other.
  void PutQuoted(std::string_view Value, char Quote) {
    const char Other = Quote == '"' ? '\'' : '"';
    if (Value.find(Quote) != std::string_view::npos && Value.find(Other) == std::string_view::npos)
      Quote = Other;
    w_.Put(Quote);
    w_.Put(Value);
    w_.Put(Quote);
  }
  char QuoteOf(const SourceMap::Attribute& A) const {
    if (A.has_equals && A.value_start < A.end && (src_[A.value_start] == '\'' || src_[A.value_start] == '"'))
      return src_[A.value_start];
    return '"';
  }

  // A name whose first or last byte is one that trimming takes (a tab, a control byte) may come
  // to stand at a line's end or start in the source's layout of a tag: such a tag is written anew,
  // on one line.
  static bool TrimmableEdge(std::string_view Name, bool Last) {
    return !Name.empty() && IsTrimmed(Last ? Name.back() : Name.front());
  }
  bool NeedsNewTag(const TXMLNode& N, const Record& R) const {
    if (&N.TagName() != R.loaded && TrimmableEdge(N.TagName(), true)) return true;
    const SourceMap::Attribute* Loaded = map_.Attributes().data() + R.first_attribute;
    bool Edge = false;
    MatchAttributes(map_, N, &R, [&](const TXMLAttribute* A, std::uint32_t K) {
      Edge = Edge || (K < R.attributes && A->Name != Loaded[K].name && TrimmableEdge(A->Name, false));
    });
    return Edge;
  }
  // A start tag in the library's layout (without the line it stands on).
  void NewStartTag(const TXMLNode& N) {
    w_.Put('<');
    w_.Put(N.TagName());
    for (const TXMLAttribute* A : N.Attributes()) {
      w_.Put(' ');
      w_.Put(A->Name);
      w_.Put('=');
      PutQuoted(A->Value, '"');
    }
    w_.Put(N.TagType() == ttShorted ? " />" : ">");
  }

  // The start tag of an element of the load that changed. T: the source written up to here.
  void StartTag(const TXMLNode& N, const Record& R) {
    if (NeedsNewTag(N, R)) return NewStartTag(N);
    // The last byte written: a "/" right before the tag's ">" would make it self-closing.
    char Last = 0;
    auto Source = [&](std::size_t From, std::size_t To) {
      if (To <= From) return;
      Copy(From, To);
      Last = src_[To - 1];
    };
    auto Put = [&](std::string_view Bytes) {
      w_.Put(Bytes);
      if (!Bytes.empty()) Last = Bytes.back();
    };
    auto Attribute = [&](const TXMLAttribute& A, char Quote) {
      Put(A.Name);
      Put("=");
      PutQuoted(A.Value, Quote);
      Last = '"';  // a quote, either one
    };
    if (&N.TagName() != R.loaded) {
      Put("<");
      Put(N.TagName());
    } else {
      Source(R.start, R.name_end);
    }
    std::size_t T = R.name_end;
    const SourceMap::Attribute* Loaded = map_.Attributes().data() + R.first_attribute;
    std::uint32_t J = 0;  // the next attribute of the load not yet passed
    // A removed attribute goes with the bytes between it and the one before.
    auto Remove = [&](std::uint32_t Upto) {
      for (; J < Upto; ++J) T = Loaded[J].end;
    };
    std::vector<const TXMLAttribute*> Added;
    MatchAttributes(map_, N, &R, [&](const TXMLAttribute* A, std::uint32_t K) {
      if (K == R.attributes) return Added.push_back(A);
      Remove(K);
      const SourceMap::Attribute& L = Loaded[K];
      if (A->Name != L.name || (A->Value != L.value && !L.has_equals)) {
        Source(T, L.start);
        Attribute(*A, QuoteOf(L));
      } else if (A->Value != L.value) {
        Source(T, L.value_start);
        PutQuoted(A->Value, QuoteOf(L));
        Last = '"';
      } else {
        Source(T, L.end);
      }
      T = L.end;
      J = K + 1;
    });
    Remove(R.attributes);
    for (const TXMLAttribute* A : Added) {
      Put(" ");
      Attribute(*A, '"');
    }
    if (R.kind != ttShorted) {
      // The tag's end, as it was: a blank, then ">", or ">" right after the last byte.
      if (Last == '/' && T < R.open_end && src_[T] == '>') Put(" ");
      return Source(T, R.open_end);
    }
    // A self-closing tag ends in "/" and the byte after it, whatever that is: written anew as "/>",
    // or as ">" once the element has children (the blanks before the "/" then go too).
    std::size_t E = std::max(T, R.slash);
    if (N.TagType() == ttNormal) {
      while (E > T && IsSpaceOrTab(src_[E - 1])) --E;
      Source(T, E);
      return Put(Last == '/' ? " >" : ">");
    }
    Source(T, E);
    Put("/>");
  }

  // A self-closing tag of the load that ends in its "/" and a byte other than ">": on loading, the
  // byte after the "/" belongs to the tag whatever it is, and a blank there is trimmed away when a
  // line end comes to follow it, so the tag would take the next line's first byte.
  bool LooseEnd(const Record& R) const { return R.kind == ttShorted && src_[R.open_end - 1] != '>'; }

  // Writes N at the writer's position, indented (on its first line) by Indent; an element with
  // children to write gets a frame. Moved: what follows N is not what followed it on loading (a
  // loose self-closing tag is then written anew).
  void Emit(const TXMLNode& N, std::string Indent, bool Moved) {
    if (&N == stop_) {
      stopped_ = true;
      return;
    }
    const std::uint32_t RI = map_.Find(&N);
    if (RI != kNone) {
      const Record& R = nodes_[RI];
      // An untouched subtree is one range; the node to stop at may stand inside it.
      const bool StopInside = stop_record_ > RI && stop_record_ < R.end && survey_.Kept(stop_record_);
      if (!survey_.Dirty(RI) && StopInside) {
        stopped_ = true;
        return Copy(R.start, nodes_[stop_record_].start);
      }
      if (!survey_.Dirty(RI) && !(Moved && LooseEnd(R))) return Copy(R.start, R.End());
      if (N.TagType() == ttCDATA) return w_.Put(N.TextData());
      StartTag(N, R);
      Frame F{&N, RI, R.closed ? Kind::kInPlace : Kind::kAppend, std::move(Indent)};
      F.original = RI + 1;
      F.src = R.open_end;
      stack_.push_back(std::move(F));
      return;
    }
    if (N.TagType() == ttCDATA) return w_.Put(N.TextData());
    NewStartTag(N);
    if (N.TagType() != ttShorted) stack_.push_back(Frame{&N, kNone, Kind::kLayout, std::move(Indent)});
  }

  void NewLine(const std::string& Indent) {
    w_.Put(eol_);
    w_.Put(Indent);
  }

  // A child of the load that no longer stands here: with the lines it stood on alone, else only
  // its own bytes.
  void Remove(Frame& F, std::uint32_t C) {
    const Record& R = nodes_[C];
    std::size_t From = R.start, To = R.End();
    if (const auto Before = Indentation(From); Before && RestOfLineBlank(To)) {
      From -= Before->size();
      while (To < src_.size() && IsSpaceOrTab(src_[To])) ++To;
      if (To < src_.size() && src_[To] == '\r') ++To;
      if (To < src_.size() && src_[To] == '\n') ++To;
    }
    CopyTo(F, std::max(From, F.src), *this);
    F.src = std::max(F.src, To);
  }

  // After children inserted at F.src: what follows on that line goes to a line of its own.
  void EndInsertions(Frame& F, const std::string& Indent) {
    F.inserted = false;
    if (!RestOfLineBlank(F.src)) NewLine(Indent);
  }

  // One step of the innermost element: one child written (or started), or its end.
  void Step() {
    Frame& F = stack_.back();
    const TList<TXMLNode>& Kids = F.node->Children();
    if (F.kind != Kind::kInPlace) {
      if (F.next < Kids.Count()) {
        const TXMLNode& K = *Kids.begin()[F.next++];
        const std::string Indent = ChildIndent(F);
        NewLine(Indent);
        return Emit(K, Indent, true);  // F may move: nothing of it is used after this
      }
      // A self-closing element of the load that became a normal one needs its closing tag.
      const bool Gained =
          F.kind == Kind::kAppend && nodes_[F.record].kind == ttShorted && F.node->TagType() == ttNormal;
      if (F.kind == Kind::kLayout || Kids.Count() > 0 || Gained) {
        NewLine(F.indent);
        w_.Put("</");
        w_.Put(F.node->TagName());
        w_.Put('>');
      }
      stack_.pop_back();
      return;
    }
    const Record& R = nodes_[F.record];
    if (F.next < Kids.Count()) {
      const TXMLNode& K = *Kids.begin()[F.next];
      const std::uint32_t KR = map_.Find(&K);
      ++F.next;
      if (!survey_.Kept(KR)) {
        F.inserted = true;
        // Indented like the sibling it follows, else like the first that begins its line.
        const std::string Indent = F.kept_indent ? std::string(*F.kept_indent) : ChildIndent(F);
        NewLine(Indent);
        return Emit(K, Indent, true);
      }
      if (F.inserted) EndInsertions(F, ChildIndent(F));
      // The children of the load before it no longer stand here (a kept child is one of F's).
      for (; F.original != KR && F.original < R.end; F.original = nodes_[F.original].end)
        Remove(F, F.original);
      CopyTo(F, nodes_[KR].start, *this);
      F.original = nodes_[KR].end;
      F.src = nodes_[KR].End();
      F.kept_indent = Indentation(nodes_[KR].start);
      std::string Indent(F.kept_indent.value_or(ChildIndent(F)));
      // The bytes after it stay those of the load when the next child written is the next of the
      // load, or when it was the load's last and still is.
      const std::uint32_t After = nodes_[KR].end;
      const bool Moved = F.next < Kids.Count()
                             ? map_.Find(Kids.begin()[F.next]) != After || !survey_.Kept(After)
                             : After != R.end;
      return Emit(K, std::move(Indent), Moved);
    }
    if (F.inserted) EndInsertions(F, F.indent);
    for (; F.original < R.end; F.original = nodes_[F.original].end) Remove(F, F.original);
    CopyTo(F, R.close_start, *this);
    if (&F.node->TagName() != R.loaded) {
      w_.Put("</");
      w_.Put(F.node->TagName());
      w_.Put('>');
    } else {
      Copy(R.close_start, R.close_end);
    }
    stack_.pop_back();
  }

  // The prolog: as it was, but for what changed since the load.
  void Prolog(const TXMLParameters& P, std::size_t RootStart) {
    const SourceMap::Prolog& L = map_.LoadedProlog();
    bool Others = P.XMLOtherAttrs().Count() == static_cast<std::int32_t>(L.others.size());
    for (std::int32_t I = 0; Others && I < P.XMLOtherAttrs().Count(); ++I) {
      const TXMLAttribute* A = P.XMLOtherAttrs().begin()[I];
      const auto I0 = static_cast<std::size_t>(I);
      Others = A == L.other_objects[I0] && A->Name == L.others[I0].first && A->Value == L.others[I0].second;
    }
    const bool Declaration = Others && P.XMLVersion() == L.version && P.XMLEncoding() == L.encoding &&
                             P.XMLLanguage() == L.language && P.XMLStandalone() == L.standalone;
    const bool StyleSheet = P.XMLStyleSheet() == L.style_sheet;
    const std::string& DocType = P.XMLDocType()->DocTypeDefinition();
    const bool SameDocType = DocType == L.doctype;
    if (Declaration && StyleSheet && SameDocType) return Copy(0, RootStart);

    std::size_t T = 0;
    const std::size_t After = L.declared ? L.declaration_end : 0;
    if (!Declaration) {
      Copy(0, L.declared ? L.declaration_start : 0);
      WriteDeclaration(w_, P, options_);
      if (!L.declared) w_.Put(eol_);
      T = After;
    }
    if (!StyleSheet || (!SameDocType && !L.has_doctype && !DocType.empty())) {
      Copy(T, After);
      T = After;
      if (!StyleSheet && !P.XMLStyleSheet().empty()) {
        if (L.declared) w_.Put(eol_);
        WriteStyleSheet(w_, P);
        if (!L.declared) w_.Put(eol_);
      }
      if (!SameDocType && !L.has_doctype && !DocType.empty()) {
        if (L.declared) w_.Put(eol_);
        w_.Put(DocType);
        if (!L.declared) w_.Put(eol_);
      }
    }
    if (!SameDocType && L.has_doctype) {
      Copy(T, L.doctype_start);
      w_.Put(DocType);
      T = L.doctype_end;
    }
    Copy(T, RootStart);
  }

  Writer& w_;
  const SourceMap& map_;
  std::string_view src_;
  const TXMLSaveOptions& options_;
  const Survey& survey_;
  const std::vector<Record>& nodes_;
  std::string eol_;
  std::string step_;
  bool step_known_ = false;
  // Invariant: the elements whose children are being written, innermost on top.
  std::vector<Frame> stack_;
  const TXMLNode* stop_ = nullptr;  // the node to stop in front of, and its record
  std::uint32_t stop_record_ = kNone;
  bool stopped_ = false;
};

// A sink that keeps nothing but counts the line ends it is given (LF, CRLF or a lone CR, as a
// load splits lines).
class LineEndCounter final : public Sink {
 public:
  void Write(const char* Data, std::size_t Size) override {
    for (std::size_t I = 0; I < Size; ++I) {
      const char C = Data[I];
      if (C == '\n' && !after_cr_) ++lines_;
      if (C == '\r') ++lines_;
      after_cr_ = C == '\r';
    }
  }
  std::int64_t Lines() const { return lines_; }

 private:
  std::int64_t lines_ = 0;
  bool after_cr_ = false;
};

// The node to name for a save that would not load back the same: the first node in document
// order that is new or whose own tag or text changed, else the last one whose children changed.
const TXMLNode* FirstChanged(const SourceMap& Map, const Survey& Found, const TXMLNode& Root) {
  const TXMLNode* Last = &Root;
  const TXMLNode* N = &Root;
  for (;;) {
    const std::uint32_t R = Map.Find(N);
    if (Found.Dirty(R)) {
      if (R == kNone) return N;
      const Record& Rec = Map.Nodes()[R];
      if (N->TagType() != Rec.kind ||
          (N->TagType() == ttCDATA ? &N->TextData() : &N->TagName()) != Rec.loaded ||
          !Survey::SameAttributes(Map, *N, Rec))
        return N;
      Last = N;
      if (N->GetNumberOfChildren() > 0) {
        N = N->Children().begin()[0];
        continue;
      }
    }
    while (N != &Root && N->NextSibling() == nullptr) N = N->Parent();
    if (N == &Root) return Last;
    N = N->NextSibling();
  }
}

// What differs between the document and the one its save loads into (text runs under the text
// rule of a save), or nothing.
std::optional<TXMLUnwritable> Compare(const TXMLParameters& P, const TXMLNode& Root, const TXMLParser& Back) {
  const TXMLParameters& Q = *Back.XMLParameters();
  if (P.XMLVersion() != Q.XMLVersion() || P.XMLEncoding() != Q.XMLEncoding() ||
      P.XMLLanguage() != Q.XMLLanguage() || P.XMLStandalone() != Q.XMLStandalone() ||
      P.XMLOtherAttrs().Count() != Q.XMLOtherAttrs().Count() ||
      TXMLParser::TrimSpaces(P.XMLDocType()->DocTypeDefinition()) !=
          TXMLParser::TrimSpaces(Q.XMLDocType()->DocTypeDefinition()))
    return TXMLUnwritable{nullptr, "the saved prolog would load differently"};
  for (std::int32_t I = 0; I < P.XMLOtherAttrs().Count(); ++I)
    if (P.XMLOtherAttrs()[I]->Name != Q.XMLOtherAttrs()[I]->Name ||
        P.XMLOtherAttrs()[I]->Value != Q.XMLOtherAttrs()[I]->Value)
      return TXMLUnwritable{nullptr, "the saved declaration would load differently"};
  // Each node of the document is paired with the node the reload gives in its place: the children
  // pair up in order, but for a text run that trims to nothing, which may be gone (the text rule
  // of a save) where no text run now stands. Both trees are walked in step along their links, so
  // the pair in hand is the walk's whole state: going up, the reload's next child is the one
  // after the last one paired.
  auto Pairs = [](const TXMLNode* K, const TXMLNode* L) {
    const bool Blank = K->TagType() == ttCDATA && TXMLParser::TrimSpaces(K->TextData()).empty();
    return !(Blank && (L == nullptr || L->TagType() != ttCDATA));
  };
  // From the I-th child of XP and the J-th of YP on: the next pair, or nulls when XP's children
  // are done (they were checked to pair up as a whole).
  using Pair = std::pair<const TXMLNode*, const TXMLNode*>;
  auto NextPair = [&Pairs](const TXMLNode* XP, std::int32_t I, const TXMLNode* YP, std::int32_t J) {
    for (; I < XP->GetNumberOfChildren(); ++I) {
      const TXMLNode* K = XP->GetChild(I);
      const TXMLNode* L = YP->GetChild(J);
      if (Pairs(K, L)) return Pair{K, L};
    }
    return Pair{nullptr, nullptr};
  };
  const TXMLNode* X = &Root;
  const TXMLNode* Y = Back.XMLRoot();
  for (;;) {
    auto Differs = [X](const std::string& What) {
      return TXMLUnwritable{X, "the saved text would load with " + What};
    };
    if (X->TagType() != Y->TagType()) return Differs("another kind of node here");
    if (X->TagName() != Y->TagName()) return Differs("another name here: " + Quote(Y->TagName(), 40));
    if (X->TagType() == ttCDATA &&
        TXMLParser::TrimSpaces(X->TextData()) != TXMLParser::TrimSpaces(Y->TextData()))
      return Differs("another text here: " + Quote(Y->TextData(), 40));
    if (X->Attributes().Count() != Y->Attributes().Count())
      return Differs(std::to_string(Y->Attributes().Count()) + " attributes here, not " +
                     std::to_string(X->Attributes().Count()));
    for (std::int32_t I = 0; I < X->Attributes().Count(); ++I) {
      const TXMLAttribute& A = *X->Attributes()[I];
      const TXMLAttribute& B = *Y->Attributes()[I];
      if (A.Name != B.Name || A.Value != B.Value)
        return Differs("the attribute " + Quote(B.Name, 40) + " = " + Quote(B.Value, 40) + " in place of " +
                       Quote(A.Name, 40) + " = " + Quote(A.Value, 40));
    }
    // The children must pair up as a whole before any of them is looked at.
    std::int32_t J = 0;
    for (std::int32_t I = 0; I < X->GetNumberOfChildren(); ++I) {
      const TXMLNode* L = Y->GetChild(J);
      if (!Pairs(X->GetChild(I), L)) continue;
      if (L == nullptr) return Differs("fewer children here");
      ++J;
    }
    if (J != Y->GetNumberOfChildren()) return Differs("more children here");
    // On to the next pair in document order: the first children, else the next siblings of the
    // nearest pair that has one.
    Pair Next = NextPair(X, 0, Y, 0);
    while (Next.first == nullptr) {
      if (X == &Root) return std::nullopt;
      Next = NextPair(X->Parent(), X->IndexInParent() + 1, Y->Parent(), Y->IndexInParent() + 1);
      X = X->Parent();
      Y = Y->Parent();
    }
    X = Next.first;
    Y = Next.second;
  }
}

}  // namespace

void WritePreserved(Writer& W, const SourceMap& Map, const TXMLParameters& Params, const TXMLNode& Root,
                    const TXMLSaveOptions& Options) {
  const Survey Found(Map, Root);
  PreservedSave(W, Map, Options, Found).Document(Params, Root);
}

std::int64_t LineWrittenPreserved(const SourceMap& Map, const TXMLParameters& Params, const TXMLNode& Root,
                                  const TXMLNode& Target, const TXMLSaveOptions& Options) {
  const Survey Found(Map, Root);
  LineEndCounter Lines;
  bool Met = false;
  WriteTo(Lines,
          [&](Writer& W) { Met = PreservedSave(W, Map, Options, Found).Document(Params, Root, &Target); });
  return Met ? Lines.Lines() + 1 : 0;
}

std::optional<TXMLUnwritable> FindUnwritablePreserved(const SourceMap& Map, const TXMLParameters& Params,
                                                      const TXMLNode& Root, const TXMLSaveOptions& Options,
                                                      const TXMLLoadOptions& Load) {
  const Survey Found(Map, Root);
  // What is written anew is held to the rules of a save: names, values and text runs.
  {
    const TXMLNode* N = &Root;
    for (;;) {
      const std::uint32_t R = Map.Find(N);
      if (Found.Dirty(R)) {
        const Record* Rec = R == kNone ? nullptr : &Map.Nodes()[R];
        std::string Why;
        if (N->TagType() == ttCDATA) {
          if (Rec == nullptr || &N->TextData() != Rec->loaded) Why = WhyNotTextRun(N->TextData());
        } else {
          if (Rec == nullptr || &N->TagName() != Rec->loaded) Why = WhyNotName(N->TagName(), "tag name");
          const SourceMap::Attribute* Loaded =
              Rec == nullptr ? nullptr : Map.Attributes().data() + Rec->first_attribute;
          std::int32_t Index = 0;
          MatchAttributes(Map, *N, Rec, [&](const TXMLAttribute* A, std::uint32_t K) {
            ++Index;
            const bool Same = Rec != nullptr && K < Rec->attributes && A->Name == Loaded[K].name &&
                              A->Value == Loaded[K].value;
            if (!Why.empty() || Same) return;
            Why = WhyNotName(A->Name, "name of attribute " + std::to_string(Index));
            if (Why.empty()) Why = WhyNotValue(A->Value, "value of attribute " + Quote(A->Name, 40));
          });
        }
        if (!Why.empty()) return TXMLUnwritable{N, std::move(Why)};
        if (N->GetNumberOfChildren() > 0) {
          N = N->Children().begin()[0];
          continue;
        }
      }
      while (N != &Root && N->NextSibling() == nullptr) N = N->Parent();
      if (N == &Root) break;
      N = N->NextSibling();
    }
  }
  // Then the whole, read back.
  std::string Text;
  StringSink Out(Text);
  WriteTo(Out, [&](Writer& W) { PreservedSave(W, Map, Options, Found).Document(Params, Root); });
  TXMLParser Back;
  TXMLLoadOptions Options2 = Load;
  Options2.KeepSource = false;
  Options2.CollectWarnings = false;
  Back.SetLoadOptions(Options2);
  const TXMLErrorCode Status = Back.LoadFromText(Text);
  // The reloaded document is no larger than this one: only memory can run out.
  if (Status == ecOutOfMemory) throw std::bad_alloc();
  if (Status != ecOk)
    return TXMLUnwritable{FirstChanged(Map, Found, Root), "the saved text would not load (" +
                                                              std::string(ErrorCodeName(Status)) + ": " +
                                                              Back.ErrorMessage() + ")"};
  return Compare(Params, Root, Back);
}

}  // namespace linexml::detail
