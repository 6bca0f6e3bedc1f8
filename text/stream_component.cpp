#include "text/stream_component.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <utility>

#include "text/utf8_decoder.h"

namespace velinor {
namespace {

constexpr std::pair<std::string_view, std::string_view> kWhatwgLabels[] = {
#include "text/whatwg_labels.inc"
};

// How each WHATWG encoding is decoded. `icu` is the ICU converter name;
// empty for the two handled without ICU. `asciiTrail` marks the ASCII-based
// multi-byte encodings, where an invalid pair whose second byte is ASCII
// gives back that byte instead of swallowing it.
struct Decoder {
  std::string_view whatwg;
  std::string_view icu;
  bool asciiTrail = false;
};

constexpr Decoder kDecoders[] = {
    {"UTF-8", "UTF-8"},
    {"IBM866", "ibm-866"},
    {"ISO-8859-2", "ISO-8859-2"},
    {"ISO-8859-3", "ISO-8859-3"},
    {"ISO-8859-4", "ISO-8859-4"},
    {"ISO-8859-5", "ISO-8859-5"},
    {"ISO-8859-6", "ISO-8859-6"},
    {"ISO-8859-7", "ISO-8859-7"},
    {"ISO-8859-8", "ISO-8859-8"},
    // Logical order changes nothing about the bytes.
    {"ISO-8859-8-I", "ISO-8859-8"},
    {"ISO-8859-10", "ISO-8859-10"},
    {"ISO-8859-13", "ISO-8859-13"},
    {"ISO-8859-14", "ISO-8859-14"},
    {"ISO-8859-15", "ISO-8859-15"},
    {"ISO-8859-16", "ISO-8859-16"},  // absent from ICU's standard data: stays unknown
    {"KOI8-R", "KOI8-R"},
    {"KOI8-U", "KOI8-U"},
    {"macintosh", "macintosh"},
    {"windows-874", "windows-874"},
    {"windows-1250", "windows-1250"},
    {"windows-1251", "windows-1251"},
    {"windows-1252", "windows-1252"},
    {"windows-1253", "windows-1253"},
    {"windows-1254", "windows-1254"},
    {"windows-1255", "windows-1255"},
    {"windows-1256", "windows-1256"},
    {"windows-1257", "windows-1257"},
    {"windows-1258", "windows-1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic"},
    // Windows' own table, the one the program's code page 936 follows, so GBK
    // bytes come back unchanged.
    {"GBK", "windows-936", true},
    {"gb18030", "gb18030", true},
    {"Big5", "Big5-HKSCS", true},
    {"EUC-JP", "EUC-JP", true},
    {"ISO-2022-JP", "ISO-2022-JP"},
    {"Shift_JIS", "windows-31j", true},
    {"EUC-KR", "windows-949", true},
    {"UTF-16BE", "UTF-16BE"},
    {"UTF-16LE", "UTF-16LE"},
    {"x-user-defined", ""},
    // "replacement" is left out on purpose: its labels (iso-2022-kr,
    // hz-gb-2312, ...) go on to ICU, which decodes them for real. A browser
    // refuses them to stop script smuggling; here the text is only read.
};

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string NormalisedLabel(std::string_view label) {
  while (!label.empty() && IsAsciiSpace(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsAsciiSpace(label.back())) label.remove_suffix(1);
  std::string lower(label);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

const Decoder* DecoderForWhatwg(std::string_view encoding) {
  for (const Decoder& decoder : kDecoders) {
    if (decoder.whatwg == encoding) return &decoder;
  }
  return nullptr;
}

struct ConverterClose {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterClose>;

// ICU's converter for a name; an ambiguous alias is still a converter.
ConverterPtr OpenConverter(std::string_view name) {
  // ucnv_open takes "" for the platform default; names are short and ASCII.
  if (name.empty() || name.size() > 64) return nullptr;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
      return nullptr;
    }
  }
  const std::string terminated(name);
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(terminated.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// What a charset name resolves to: a WHATWG decoder, or an ICU name.
struct Resolved {
  std::string icuName;
  bool asciiTrail = false;
  bool userDefined = false;
};

std::optional<Resolved> Resolve(std::string_view charset) {
  if (const Decoder* decoder = DecoderForWhatwg(WhatwgEncodingForLabel(charset))) {
    if (decoder->icu.empty()) return Resolved{{}, false, true};
    return Resolved{std::string(decoder->icu), decoder->asciiTrail, false};
  }
  if (OpenConverter(charset) == nullptr) return std::nullopt;
  return Resolved{std::string(charset), false, false};
}

// One U+FFFD for each invalid or unmappable sequence; ICU's own default would
// give U+001A for some of them.
void SubstituteEach(const void* context, UConverterToUnicodeArgs* args, const char* units,
                    int32_t length, UConverterCallbackReason reason, UErrorCode* error) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  *error = U_ZERO_ERROR;
  std::array<UChar, 2> out{0xFFFD, 0};
  int32_t count = 1;
  const bool asciiTrail = context != nullptr;
  if (asciiTrail && length == 2 && static_cast<unsigned char>(units[1]) < 0x80) {
    out[1] = static_cast<UChar>(units[1]);
    count = 2;
  }
  ucnv_cbToUWriteUChars(args, out.data(), count, 0, error);
}

std::optional<std::u16string> DecodeWithIcu(std::span<const std::uint8_t> bytes,
                                            const Resolved& resolved) {
  const ConverterPtr converter = OpenConverter(resolved.icuName);
  if (converter == nullptr) return std::nullopt;
  static const bool kOn = true;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), SubstituteEach, resolved.asciiTrail ? &kOn : nullptr,
                      nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;

  // Most charsets give at most one unit per byte; the loop grows the buffer
  // for the few that give more.
  std::u16string out(bytes.size() + 8, u'\0');
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const char* const sourceEnd = source + bytes.size();
  std::size_t written = 0;
  for (;;) {
    auto* target = reinterpret_cast<UChar*>(out.data()) + written;
    auto* const targetEnd = reinterpret_cast<UChar*>(out.data()) + out.size();
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter.get(), &target, targetEnd, &source, sourceEnd, nullptr, true, &status);
    written = static_cast<std::size_t>(target - reinterpret_cast<UChar*>(out.data()));
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(written);
  return out;
}

// x-user-defined: ASCII as itself, every other byte into U+F780..U+F7FF.
std::u16string DecodeUserDefined(std::span<const std::uint8_t> bytes) {
  std::u16string out(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), out.begin(), [](std::uint8_t b) {
    return static_cast<char16_t>(b < 0x80 ? b : 0xF780 + (b - 0x80));
  });
  return out;
}

// How a text is to be decoded: by which decoder, from which byte on.
struct Plan {
  Resolved decoder;
  std::span<const std::uint8_t> bytes;
};

std::optional<Plan> PlanDecoding(std::span<const std::uint8_t> bytes, std::string_view charset) {
  auto resolved = Resolve(charset);
  if (!resolved) return std::nullopt;
  // A byte-order mark outranks the declared charset, as the Encoding Standard
  // decodes, and is dropped.
  const auto startsWith = [&](std::initializer_list<std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  if (startsWith({0xEF, 0xBB, 0xBF})) return Plan{{"UTF-8"}, bytes.subspan(3)};
  if (startsWith({0xFE, 0xFF})) return Plan{{"UTF-16BE"}, bytes.subspan(2)};
  if (startsWith({0xFF, 0xFE})) return Plan{{"UTF-16LE"}, bytes.subspan(2)};
  return Plan{std::move(*resolved), bytes};
}

// --- the stream object ---------------------------------------------------------

constexpr std::int32_t kTypeBinary = 1;
constexpr std::int32_t kTypeText = 2;
constexpr std::int32_t kReadAll = -1;

class StreamObject final : public AutomationObject {
 public:
  bool Invoke(std::string_view name, DispatchKind kind, Arguments args, Variant& result) override {
    if (kind == DispatchKind::kPropertyPut) return args.size() == 1 && Put(name, args[0].Value());
    if (SameName(name, "Open")) return Open(args);
    if (SameName(name, "Close")) return args.empty() && Close();
    if (SameName(name, "Write")) return args.size() == 1 && Write(args[0].Value());
    if (SameName(name, "Read")) return Read(args, result);
    if (SameName(name, "ReadText")) return ReadText(args, result);
    if (!args.empty()) return false;
    if (SameName(name, "Type")) {
      result = type_;
    } else if (SameName(name, "Mode")) {
      result = mode_;
    } else if (SameName(name, "Charset")) {
      result = std::u16string(charset_.begin(), charset_.end());
    } else if (SameName(name, "State")) {
      result = std::int32_t{open_ ? 1 : 0};
    } else if (SameName(name, "Position") && open_) {
      result = static_cast<std::int32_t>(position_);
    } else if (SameName(name, "Size") && open_) {
      result = static_cast<std::int32_t>(Data().size());
    } else if (SameName(name, "EOS") && open_) {
      result = position_ >= Data().size();
    } else {
      return false;
    }
    return true;
  }

 private:
  bool AtStart() const { return !open_ || position_ == 0; }

  std::span<const std::uint8_t> Data() const {
    return shared_ ? std::span<const std::uint8_t>(*shared_) : std::span<const std::uint8_t>(own_);
  }

  ByteBuffer& Own() {
    if (shared_) {
      own_.assign(shared_->begin(), shared_->end());
      shared_.reset();
    }
    return own_;
  }

  void Clear() {
    shared_.reset();
    own_.clear();
    own_.shrink_to_fit();
    position_ = 0;
  }

  bool Put(std::string_view name, const Variant& value) {
    if (SameName(name, "Type")) {
      const auto type = VariantToInt(value);
      if (!type || (*type != kTypeBinary && *type != kTypeText) || !AtStart()) return false;
      type_ = *type;
      return true;
    }
    if (SameName(name, "Mode")) {
      const auto mode = VariantToInt(value);
      if (!mode || *mode < 0 || open_) return false;
      mode_ = *mode;
      return true;
    }
    if (SameName(name, "Position")) {
      const auto position = VariantToInt(value);
      if (!position || !open_ || *position < 0 ||
          static_cast<std::size_t>(*position) > Data().size()) {
        return false;
      }
      position_ = static_cast<std::size_t>(*position);
      return true;
    }
    if (SameName(name, "Charset")) {
      const auto text = VariantToString(value);
      if (!text || !AtStart()) return false;
      std::string ascii;
      for (char16_t c : *text) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '\x7F');
      // An unknown name is kept, so that a later ReadText fails rather than
      // reading in the charset set before.
      charset_ = std::move(ascii);
      return IsKnownCharset(charset_);
    }
    return false;
  }

  bool Open(Arguments args) {
    // Opening on a source (a URL or a record) is not offered.
    for (const Argument& arg : args) {
      if (!std::holds_alternative<std::monostate>(arg.Value())) return false;
    }
    if (open_) return false;
    open_ = true;
    Clear();
    return true;
  }

  bool Close() {
    if (!open_) return false;
    open_ = false;
    Clear();
    return true;
  }

  bool Write(const Variant& value) {
    const auto* array = std::get_if<ByteArray>(&value);
    if (!open_ || type_ != kTypeBinary || array == nullptr) return false;
    const std::span<const std::uint8_t> data = array->Bytes();
    if (Data().empty() && array->Shared() != nullptr) {
      shared_ = array->Shared();
      position_ = data.size();
      return true;
    }
    ByteBuffer& bytes = Own();
    const std::size_t overlap = std::min(data.size(), bytes.size() - position_);
    std::copy_n(data.begin(), overlap, bytes.begin() + static_cast<std::ptrdiff_t>(position_));
    bytes.insert(bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(overlap), data.end());
    position_ += data.size();
    return true;
  }

  // A UTF-8 page, the common case, goes straight into code page 936.
  bool InvokeForText(std::string_view name, Arguments args, TextValue& text) override {
    if (SameName(name, "ReadText") && open_ && type_ == kTypeText && ReadsAll(args)) {
      const auto plan = PlanDecoding(Data().subspan(position_), charset_);
      if (plan && !plan->decoder.userDefined && plan->decoder.icuName == "UTF-8") {
        text = DecodeUtf8ToAnsi(plan->bytes);
        position_ = Data().size();
        return true;
      }
    }
    return AutomationObject::InvokeForText(name, args, text);
  }

  // Only whole reads: "all" (omitted or -1).
  static bool ReadsAll(Arguments args) {
    if (args.empty()) return true;
    if (args.size() != 1) return false;
    const auto count = VariantToInt(args[0].Value());
    return count && *count == kReadAll;
  }

  bool Read(Arguments args, Variant& result) {
    if (!open_ || type_ != kTypeBinary || !ReadsAll(args)) return false;
    const auto rest = Data().subspan(position_);
    result = ByteArray(ByteBuffer(rest.begin(), rest.end()));
    position_ = Data().size();
    return true;
  }

  bool ReadText(Arguments args, Variant& result) {
    if (!open_ || type_ != kTypeText || !ReadsAll(args)) return false;
    auto text = DecodeBytes(Data().subspan(position_), charset_);
    if (!text) return false;
    result = std::move(*text);
    position_ = Data().size();
    return true;
  }

  std::int32_t type_ = kTypeText;
  std::int32_t mode_ = 0;
  std::string charset_ = "Unicode";
  bool open_ = false;
  // A byte array written into an empty stream is shared as it is; the first
  // change after that gives the stream its own copy.
  std::shared_ptr<const ByteBuffer> shared_;
  ByteBuffer own_;
  std::size_t position_ = 0;
};

}  // namespace

std::shared_ptr<AutomationObject> MakeStreamComponent() { return std::make_shared<StreamObject>(); }

std::string_view WhatwgEncodingForLabel(std::string_view label) {
  const std::string key = NormalisedLabel(label);
  const auto* const end = std::end(kWhatwgLabels);
  const auto* found =
      std::lower_bound(std::begin(kWhatwgLabels), end, key,
                       [](const auto& entry, const std::string& k) { return entry.first < k; });
  if (found == end || found->first != key) return {};
  return found->second;
}

bool IsKnownCharset(std::string_view charset) {
  const auto resolved = Resolve(charset);
  return resolved && (resolved->userDefined || OpenConverter(resolved->icuName) != nullptr);
}

std::optional<std::u16string> DecodeBytes(std::span<const std::uint8_t> bytes,
                                          std::string_view charset) {
  const auto plan = PlanDecoding(bytes, charset);
  if (!plan) return std::nullopt;
  if (plan->decoder.userDefined) return DecodeUserDefined(plan->bytes);
  if (plan->decoder.icuName == "UTF-8") return DecodeUtf8(plan->bytes);
  return DecodeWithIcu(plan->bytes, plan->decoder);
}

}  // namespace velinor
