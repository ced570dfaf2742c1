#include "automation/utf8.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dudUdudADOD::automation {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}

}  // namespace

// Writes a code point of two to four bytes at `p` and returns its end.
char* PutMultiByte(char* p, char32_t c) {
  if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (c >> 18));
    *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  *p++ = static_cast<char>(0x80 | (c & 0x3F));
  return p;
}

namespace {

// Narrows the run of all-ASCII blocks of 16 units that starts `text` to
// `out`; returns how many units it took. With SSE2 (every x86-64) a block
// is one test and one pack; elsewhere it returns 0 and the loop below
// narrows block by block.
size_t NarrowAsciiBlocks(char* out, std::u16string_view text) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<int16_t>(0xFF80));
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i + 8));
    const __m128i beyond = _mm_and_si128(_mm_or_si128(a, b), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
  }
#else
  (void)out;
  (void)text;
#endif
  return i;
}

}  // namespace

char* WriteUtf8(char* out, std::u16string_view text) {
  // Reports are nearly all ASCII: blocks of 16 units that are all ASCII are
  // narrowed in one go.
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (const size_t narrowed = NarrowAsciiBlocks(out, text.substr(i)); narrowed != 0) {
      out += narrowed;
      i += narrowed;
      continue;
    }
    if (i + 16 <= n) {
      // Copied out first: writes through char* could otherwise alias the
      // text, and the compiler would not narrow the block in one go.
      char16_t block[16];
      std::memcpy(block, text.data() + i, sizeof block);
      char16_t any = 0;
      for (char16_t unit : block) any |= unit;
      if (any < 0x80) {
        char narrow[16];
        for (size_t k = 0; k < 16; ++k) narrow[k] = static_cast<char>(block[k]);
        std::memcpy(out, narrow, sizeof narrow);
        out += 16;
        i += 16;
        continue;
      }
    }
    const char16_t c = text[i];
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
      ++i;
      continue;
    }
    char32_t code = c >= 0xD800 && c <= 0xDFFF ? kReplacement : char32_t{c};
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    ++i;
    out = PutMultiByte(out, code);
  }
  return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  const size_t at = out.size();
  out.resize(at + kMaxUtf8PerUnit * text.size());
  out.resize(static_cast<size_t>(WriteUtf8(out.data() + at, text) - out.data()));
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(out, text);
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07;
    } else {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    if (i + static_cast<size_t>(extra) >= text.size() && extra > 0) {
      AppendUtf16(out, kReplacement);  // a sequence cut off by the end
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((cont & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (cont & 0x3F);
    }
    const bool overlong =
        (extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    if (!ok || overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

}  // namespace dudUdudADOD::automation
