#include "text/regexp_component.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velinor {
namespace {

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextFree>;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Where one match stands, in code units; a group that did not take part has
// no span.
struct Span {
  std::size_t start = 0;
  std::size_t end = 0;
};
using Groups = std::vector<std::optional<Span>>;  // [0] is the whole match

// One compiled pattern and its match data. A compile failure is kept, so that
// every later search fails the same way without compiling again.
class CompiledPattern {
 public:
  CompiledPattern(std::u16string_view pattern, bool caseless, bool multiline) {
    const CompileContextPtr context(pcre2_compile_context_create(nullptr));
    if (context == nullptr) return;
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    // No PCRE2_UCP: \w, \d and \s stay ASCII. MATCH_INVALID_UTF lets a subject
    // with lone surrogates be searched instead of rejected.
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_DOLLAR_ENDONLY |
                            PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF;
    if (caseless) options |= PCRE2_CASELESS;
    if (multiline) options |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                              &error, &errorOffset, context.get()));
    if (code_ == nullptr) return;
    pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs
    data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    if (data_ == nullptr) code_.reset();
  }

  bool Valid() const { return code_ != nullptr; }

  std::uint32_t GroupCount() const {
    std::uint32_t count = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &count);
    return count;
  }

  // Calls onMatch(groups) for the first match or, with `global`, for every
  // non-overlapping one. After an empty match the search retries at the same
  // place for a non-empty one, and otherwise moves on by one code point, so it
  // never loops and never splits a surrogate pair. False when matching fails.
  template <typename OnMatch>
  bool ForEachMatch(std::u16string_view subject, bool global, OnMatch&& onMatch) const {
    const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
    const std::size_t length = subject.size();
    std::size_t offset = 0;
    bool afterEmpty = false;
    Groups groups;
    while (offset <= length) {
      const std::uint32_t options = afterEmpty ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
      const int rc = Match(units, length, offset, options);
      if (rc == PCRE2_ERROR_NOMATCH) {
        if (!afterEmpty || offset >= length) break;
        const bool pair = IsHighSurrogate(subject[offset]) && offset + 1 < length &&
                          IsLowSurrogate(subject[offset + 1]);
        offset += pair ? 2 : 1;
        afterEmpty = false;
        continue;
      }
      if (rc < 0) return false;
      Collect(groups);
      onMatch(std::as_const(groups));
      if (!global) break;
      afterEmpty = groups[0]->start == groups[0]->end;
      offset = groups[0]->end;
    }
    return true;
  }

 private:
  int Match(PCRE2_SPTR units, std::size_t length, std::size_t offset, std::uint32_t options) const {
    int rc = pcre2_match(code_.get(), units, length, offset, options, data_.get(), nullptr);
    // The JIT's small default stack can run out where the interpreter copes.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      rc = pcre2_match(code_.get(), units, length, offset, options | PCRE2_NO_JIT, data_.get(),
                       nullptr);
    }
    return rc;
  }

  void Collect(Groups& groups) const {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
    const std::uint32_t pairs = pcre2_get_ovector_count(data_.get());
    groups.assign(GroupCount() + 1, std::nullopt);
    for (std::uint32_t i = 0; i < pairs && i < groups.size(); ++i) {
      const PCRE2_SIZE start = ovector[2 * i];
      const PCRE2_SIZE end = ovector[2 * i + 1];
      if (start == PCRE2_UNSET) continue;
      groups[i] = Span{start, end < start ? start : end};
    }
  }

  CodePtr code_;
  MatchDataPtr data_;
};

// Shared plumbing of the small objects below: members by name, reads and
// method calls alike, writes apart.
bool IsRead(DispatchKind kind) { return kind != DispatchKind::kPropertyPut; }

class SubMatchesObject final : public AutomationObject {
 public:
  explicit SubMatchesObject(std::vector<std::optional<std::u16string>> texts)
      : texts_(std::move(texts)) {}

  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    if (!IsRead(kind)) return false;
    if (SameName(name, "Count") && args.empty()) {
      result = static_cast<std::int32_t>(texts_.size());
      return true;
    }
    if ((SameName(name, "Item") || name.empty()) && args.size() == 1) {
      const auto index = VariantToInt(args[0].Value());
      if (!index || *index < 0 || static_cast<std::size_t>(*index) >= texts_.size()) return false;
      const auto& text = texts_[static_cast<std::size_t>(*index)];
      if (text) {
        result = *text;
      } else {
        result = std::monostate{};
      }
      return true;
    }
    return false;
  }

 private:
  std::vector<std::optional<std::u16string>> texts_;
};

class MatchObject final : public AutomationObject {
 public:
  MatchObject(std::u16string_view subject, const Groups& groups)
      : value_(subject.substr(groups[0]->start, groups[0]->end - groups[0]->start)),
        firstIndex_(static_cast<std::int32_t>(groups[0]->start)) {
    std::vector<std::optional<std::u16string>> texts;
    for (std::size_t i = 1; i < groups.size(); ++i) {
      if (groups[i]) {
        texts.emplace_back(subject.substr(groups[i]->start, groups[i]->end - groups[i]->start));
      } else {
        texts.emplace_back(std::nullopt);
      }
    }
    subMatches_.object = std::make_shared<SubMatchesObject>(std::move(texts));
  }

  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    if (!IsRead(kind) || !args.empty()) return false;
    if (SameName(name, "Value") || name.empty()) {
      result = value_;
    } else if (SameName(name, "FirstIndex")) {
      result = firstIndex_;
    } else if (SameName(name, "Length")) {
      result = static_cast<std::int32_t>(value_.size());
    } else if (SameName(name, "SubMatches")) {
      result = subMatches_;
    } else {
      return false;
    }
    return true;
  }

 private:
  std::u16string value_;
  std::int32_t firstIndex_;
  ComObject subMatches_;
};

class MatchCollectionObject final : public AutomationObject {
 public:
  void Add(ComObject match) { matches_.push_back(std::move(match)); }

  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    if (!IsRead(kind)) return false;
    if (SameName(name, "Count") && args.empty()) {
      result = static_cast<std::int32_t>(matches_.size());
      return true;
    }
    if ((SameName(name, "Item") || name.empty()) && args.size() == 1) {
      const auto index = VariantToInt(args[0].Value());
      if (!index || *index < 0 || static_cast<std::size_t>(*index) >= matches_.size()) {
        return false;
      }
      result = matches_[static_cast<std::size_t>(*index)];
      return true;
    }
    return false;
  }

 private:
  std::vector<ComObject> matches_;
};

// `$1`..`$99` (two digits when that group exists, else one), `$&`, `` $` ``,
// `$'` and `$$`; any other `$` stands for itself. Groups that did not take
// part give "".
void AppendExpansion(std::u16string& out, std::u16string_view replacement,
                     std::u16string_view subject, const Groups& groups) {
  const auto groupText = [&](std::size_t n) -> std::u16string_view {
    if (!groups[n]) return {};
    return subject.substr(groups[n]->start, groups[n]->end - groups[n]->start);
  };
  const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  const std::size_t groupCount = groups.size() - 1;
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char16_t c = replacement[i];
    if (c != u'$' || i + 1 == replacement.size()) {
      out.push_back(c);
      continue;
    }
    const char16_t next = replacement[i + 1];
    if (next == u'$') {
      out.push_back(u'$');
      ++i;
    } else if (next == u'&') {
      out.append(groupText(0));
      ++i;
    } else if (next == u'`') {
      out.append(subject.substr(0, groups[0]->start));
      ++i;
    } else if (next == u'\'') {
      out.append(subject.substr(groups[0]->end));
      ++i;
    } else if (isDigit(next)) {
      const std::size_t one = static_cast<std::size_t>(next - u'0');
      const bool hasSecond = i + 2 < replacement.size() && isDigit(replacement[i + 2]);
      const std::size_t two =
          hasSecond ? one * 10 + static_cast<std::size_t>(replacement[i + 2] - u'0') : 0;
      if (hasSecond && two >= 1 && two <= groupCount) {
        out.append(groupText(two));
        i += 2;
      } else if (one >= 1 && one <= groupCount) {
        out.append(groupText(one));
        ++i;
      } else {
        out.push_back(u'$');
      }
    } else {
      out.push_back(u'$');
    }
  }
}

class RegExpObject final : public AutomationObject {
 public:
  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    if (kind == DispatchKind::kPropertyPut) return args.size() == 1 && Put(name, args[0].Value());
    if (SameName(name, "Pattern") && args.empty()) {
      result = pattern_;
    } else if (SameName(name, "IgnoreCase") && args.empty()) {
      result = ignoreCase_;
    } else if (SameName(name, "Multiline") && args.empty()) {
      result = multiline_;
    } else if (SameName(name, "Global") && args.empty()) {
      result = global_;
    } else if (SameName(name, "Execute") && args.size() == 1) {
      return Execute(args[0].Value(), result);
    } else if (SameName(name, "Replace") && args.size() == 2) {
      return Replace(args[0].Value(), args[1].Value(), result);
    } else if (SameName(name, "Test") && args.size() == 1) {
      return Test(args[0].Value(), result);
    } else {
      return false;
    }
    return true;
  }

 private:
  bool Put(std::string_view name, const Variant& value) {
    if (SameName(name, "Pattern")) {
      auto text = VariantToString(value);
      if (!text) return false;
      if (*text != pattern_) compiled_.reset();
      pattern_ = std::move(*text);
      return true;
    }
    bool* flag = nullptr;
    if (SameName(name, "IgnoreCase")) {
      flag = &ignoreCase_;
    } else if (SameName(name, "Multiline")) {
      flag = &multiline_;
    } else if (SameName(name, "Global")) {
      flag = &global_;
    } else {
      return false;  // "Singleline" among them: this engine has no such option
    }
    const auto on = VariantToBool(value);
    if (!on) return false;
    if (*on != *flag && flag != &global_) compiled_.reset();
    *flag = *on;
    return true;
  }

  const CompiledPattern* Compiled() {
    if (!compiled_) compiled_.emplace(pattern_, ignoreCase_, multiline_);
    return compiled_->Valid() ? &*compiled_ : nullptr;
  }

  bool Execute(const Variant& subjectValue, Variant& result) {
    const CompiledPattern* compiled = Compiled();
    const auto subject = VariantToString(subjectValue);
    if (compiled == nullptr || !subject) return false;
    auto collection = std::make_shared<MatchCollectionObject>();
    const bool ok = compiled->ForEachMatch(*subject, global_, [&](const Groups& groups) {
      collection->Add(ComObject{std::make_shared<MatchObject>(*subject, groups)});
    });
    if (!ok) return false;
    result = ComObject{std::move(collection)};
    return true;
  }

  bool Replace(const Variant& subjectValue, const Variant& replacementValue, Variant& result) {
    const CompiledPattern* compiled = Compiled();
    const auto subject = VariantToString(subjectValue);
    const auto replacement = VariantToString(replacementValue);
    if (compiled == nullptr || !subject || !replacement) return false;
    std::u16string out;
    std::size_t copied = 0;
    const bool ok = compiled->ForEachMatch(*subject, global_, [&](const Groups& groups) {
      if (groups[0]->start >= copied) out.append(*subject, copied, groups[0]->start - copied);
      AppendExpansion(out, *replacement, *subject, groups);
      copied = std::max(copied, groups[0]->end);
    });
    if (!ok) return false;
    out.append(*subject, copied);
    result = std::move(out);
    return true;
  }

  bool Test(const Variant& subjectValue, Variant& result) {
    const CompiledPattern* compiled = Compiled();
    const auto subject = VariantToString(subjectValue);
    if (compiled == nullptr || !subject) return false;
    bool found = false;
    if (!compiled->ForEachMatch(*subject, false, [&](const Groups&) { found = true; })) {
      return false;
    }
    result = found;
    return true;
  }

  std::u16string pattern_;
  bool ignoreCase_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::optional<CompiledPattern> compiled_;  // made on first use after a change
};

}  // namespace

std::shared_ptr<AutomationObject> MakeRegExpComponent() { return std::make_shared<RegExpObject>(); }

}  // namespace velinor
