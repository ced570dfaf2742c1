// Checks of the structured outputs for the fuzz targets: a JSON document
// that any parser reads, and text that XML 1.0 allows.
//
// WellFormedJson follows RFC 8259's grammar (one value, whitespace around
// it, strings of valid UTF-8 with no raw control code, numbers as the
// grammar writes them), nesting at most 256 deep. XmlAllowsText says that
// every character of a UTF-8 text is one XML 1.0 allows: tab, line feed,
// return, and the code points from U+0020 other than surrogates, U+FFFE and
// U+FFFF.
#ifndef DUD_FUZZ_WELL_FORMED_H_
#define DUD_FUZZ_WELL_FORMED_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dudUdudADOD::fuzz {

namespace internal {

// The code point of the UTF-8 sequence at `at` and its length; 0 for a
// sequence that is not valid UTF-8.
inline size_t Utf8At(std::string_view s, size_t at, uint32_t& c) {
  const auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(s[at + k])); };
  const uint32_t lead = b(0);
  size_t n = lead < 0x80         ? 1
             : (lead >> 5) == 6  ? 2
             : (lead >> 4) == 14 ? 3
             : (lead >> 3) == 30 ? 4
                                 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  c = n == 1 ? lead : lead & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(k) & 0x3F);
  }
  const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return 0;
  return n;
}

class Json {
 public:
  explicit Json(std::string_view s) : s_(s) {}
  bool Document() {
    Space();
    if (!Value(0)) return false;
    Space();
    return at_ == s_.size();
  }

 private:
  void Space() {
    while (at_ < s_.size() &&
           (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
      ++at_;
  }
  bool Take(char c) {
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view w) {
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }
  bool Digits() {
    const size_t start = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    return at_ > start;
  }
  bool Number() {
    Take('-');
    if (!Take('0') && !Digits()) return false;
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool String() {
    if (!Take('"')) return false;
    while (at_ < s_.size()) {
      const char c = s_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c == '\\') {
        ++at_;
        if (at_ >= s_.size()) return false;
        const char e = s_[at_++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k, ++at_) {
            if (at_ >= s_.size() || std::string_view("0123456789abcdefABCDEF").find(s_[at_]) ==
                                        std::string_view::npos) {
              return false;
            }
          }
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
          return false;
        }
        continue;
      }
      uint32_t code = 0;
      const size_t n = Utf8At(s_, at_, code);
      if (n == 0 || code < 0x20) return false;
      at_ += n;
    }
    return false;
  }
  bool Members(int depth, char close, bool keyed) {
    Space();
    if (Take(close)) return true;
    do {
      Space();
      if (keyed) {
        if (!String()) return false;
        Space();
        if (!Take(':')) return false;
        Space();
      }
      if (!Value(depth + 1)) return false;
      Space();
    } while (Take(','));
    return Take(close);
  }
  bool Value(int depth) {
    if (depth > 256 || at_ >= s_.size()) return false;
    switch (s_[at_]) {
      case '{':
        ++at_;
        return Members(depth, '}', true);
      case '[':
        ++at_;
        return Members(depth, ']', false);
      case '"':
        return String();
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace internal

inline bool WellFormedJson(std::string_view text) { return internal::Json(text).Document(); }

inline bool XmlAllowsText(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    uint32_t c = 0;
    const size_t n = internal::Utf8At(text, at, c);
    if (n == 0) return false;
    if (c < 0x20 ? (c != '\t' && c != '\n' && c != '\r') : (c == 0xFFFE || c == 0xFFFF)) {
      return false;
    }
    at += n;
  }
  return true;
}

}  // namespace dudUdudADOD::fuzz

#endif  // DUD_FUZZ_WELL_FORMED_H_
