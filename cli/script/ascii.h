// Case folding for the words the client reads: keywords, type names, option
// values and commands compare without regard to case, as the language's
// do. Only a to z fold; every other byte, UTF-8 included, stands as it is.
#ifndef DUD_CLI_SCRIPT_ASCII_H_
#define DUD_CLI_SCRIPT_ASCII_H_

#include <algorithm>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

inline char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = Upper(c);
  return upper;
}

// Whether two words are the same but for the case of their ASCII letters.
inline bool SameWord(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Upper(x) == Upper(y); });
}

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_ASCII_H_
