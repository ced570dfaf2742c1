// "Did you mean": the known word closest to a word the script got wrong.
//
// Used by the parser (keywords, types, functions) and the interpreter
// (variable names). Words compare without regard to case, as the language
// does. A candidate is offered only when it is close enough to be a slip of
// the keyboard: at most one edit for words of three or four letters, two
// for longer ones, counting a swap of neighbours as one edit; words of one
// or two letters get no suggestion, as any other short name is that close.
#ifndef DUD_CLI_SCRIPT_SUGGEST_H_
#define DUD_CLI_SCRIPT_SUGGEST_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

// The closest candidate (the first of equally close ones), or nullopt.
std::optional<std::string> ClosestWord(std::string_view word,
                                       std::span<const std::string_view> candidates);

// " (did you mean \"Long\"?)" for the closest candidate, or "".
std::string DidYouMean(std::string_view word, std::span<const std::string_view> candidates);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_SUGGEST_H_
