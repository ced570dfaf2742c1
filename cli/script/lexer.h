// Lexer: splits a ravoduze script (UTF-8) into tokens with their line and
// column.
//
// Used by the parser, which pulls one token at a time so that even a large
// script never exists as a second copy in token form.
//
// Contract:
//  - Words (keywords and names) are letters, digits and "_" starting with a
//    letter; the parser compares keywords without regard to case. A type
//    character right after a word (n%, s$) is refused: types come with As.
//  - Numbers keep their text: decimal ("12", "1.5", "1E3", ".5"), "&H" or
//    "0x" hex and "&O" octal, each with an optional type suffix (% & ! # @), which is
//    split off into `suffix`. A "#" right after a number is its suffix;
//    elsewhere "#" opens a date literal that closes on the same line. An "&"
//    that no hex or octal digit follows (after H or O) joins strings.
//  - "." outside a number is kDot (Debug.Print). The operators the language
//    does not have (* / \ ^ < > <= >= <>) are kOperator tokens, so that the
//    parser can say so where they stand.
//  - String literals are in double quotes, "" standing for one quote; `text`
//    holds the value. A date literal's `text` is what stands between the #s.
//  - A line break, ";" and ":" end a statement; "'" starts a comment to the end
//    of the line; " _" at the end of a line continues the statement on the
//    next. CR, spaces and tabs separate tokens; a UTF-8 byte order mark at the
//    start is skipped.
//  - Anything else raises ScriptError at the offending character. Columns
//    count characters (UTF-8 sequences), not bytes.
#ifndef DUD_CLI_SCRIPT_LEXER_H_
#define DUD_CLI_SCRIPT_LEXER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "cli/script/script_error.h"

namespace dudUdudADOD::cli {

enum class TokenKind {
  kEnd,
  kNewline,
  kSemicolon,
  kWord,
  kNumber,
  kString,
  kDate,
  kLeftParen,
  kRightParen,
  kLeftBrace,
  kRightBrace,
  kComma,
  kEquals,
  kMinus,
  kPlus,
  kAmpersand,  // & between values: string concatenation
  kDot,
  kOperator,  // an operator the language does not have; `text` holds it
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  Position position;
  std::string text;  // word or number as written, string value, date text
  char suffix = 0;   // a number's type suffix, 0 when none
};

// How a token is named in "found ..." parts of messages: `"Dim"`, `"5&"`,
// `end of line`, `end of script`.
std::string Describe(const Token& token);

// Where the first list in braces that `source` leaves open begins (a "{"
// that no "}" closes), or nullopt when every list is closed. Text the lexer
// refuses counts as closed: parsing it will say what is wrong. An
// interactive session reads on while a list is open.
std::optional<Position> UnclosedList(std::string_view source);

class Lexer {
 public:
  explicit Lexer(std::string_view source);

  // The next token; kEnd at the end, again on every later call.
  Token Next();

 private:
  bool AtEnd() const { return at_ >= source_.size(); }
  char Peek(size_t ahead = 0) const;
  void Advance();
  void SkipBlanks();
  void SkipContinuation();
  [[noreturn]] void Fail(const std::string& message) const;

  Token Single(TokenKind kind);
  bool StartsRadixNumber() const;
  Token LexOperator();
  Token LexNumber();
  Token LexRadixNumber();
  void LexSuffix(Token& token);
  Token LexString();
  Token LexDate();
  Token LexWord();

  std::string_view source_;
  size_t at_ = 0;
  Position position_;
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_LEXER_H_
