#include "cli/script/suggest.h"

#include <algorithm>
#include <vector>

#include "cli/script/ascii.h"

namespace dudUdudADOD::cli {

namespace {

// Edits (insert, delete, replace, swap of neighbours) from a to b, without
// regard to case; stops counting past `limit`.
size_t Distance(std::string_view a, std::string_view b, size_t limit) {
  const size_t n = a.size(), m = b.size();
  if ((n > m ? n - m : m - n) > limit) return limit + 1;
  std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = Upper(a[i - 1]) == Upper(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && Upper(a[i - 1]) == Upper(b[j - 2]) &&
          Upper(a[i - 2]) == Upper(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[n][m];
}

}  // namespace

std::optional<std::string> ClosestWord(std::string_view word,
                                       std::span<const std::string_view> candidates) {
  // Any one- or two-letter name is a slip away from another; a long word is
  // no slip of the keyboard.
  if (word.size() < 3 || word.size() > 64) return std::nullopt;
  const size_t limit = word.size() <= 4 ? 1 : 2;
  std::optional<std::string> best;
  size_t best_distance = limit + 1;
  for (std::string_view candidate : candidates) {
    const size_t distance = Distance(word, candidate, limit);
    if (distance < best_distance) {
      best_distance = distance;
      best = std::string(candidate);
    }
  }
  return best;
}

std::string DidYouMean(std::string_view word, std::span<const std::string_view> candidates) {
  const std::optional<std::string> best = ClosestWord(word, candidates);
  return best ? " (did you mean \"" + *best + "\"?)" : "";
}

}  // namespace dudUdudADOD::cli
