#include "cli/script/lexer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "automation/utf8.h"

namespace dudUdudADOD::cli {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsWordChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsSuffix(char c) {
  return c == '%' || c == '&' || c == '^' || c == '!' || c == '#' || c == '@';
}
bool IsOperator(char c) {
  return c == '*' || c == '/' || c == '\\' || c == '^' || c == '<' || c == '>';
}
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A character as a message shows it: printable ones quoted, control
// characters as U+XXXX, bytes that are no UTF-8 as "byte 0xXX".
std::string ShowCharacter(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  char code[16];
  if (lead < 0x20 || lead == 0x7F) {
    std::snprintf(code, sizeof code, "U+%04X", lead);
    return code;
  }
  const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  const std::string_view sequence = rest.substr(0, length);
  const std::u16string decoded = automation::FromUtf8(sequence);
  if (lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4 && sequence.size() == length &&
                      decoded.find(u'\uFFFD') == std::u16string::npos)) {
    return Quote(sequence);
  }
  std::snprintf(code, sizeof code, "byte 0x%02X", lead);
  return code;
}

}  // namespace

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::kEnd:
      return "end of script";
    case TokenKind::kNewline:
      return "end of line";
    case TokenKind::kString:
      return "the string " + Quote(token.text);
    case TokenKind::kDate:
      return Quote("#" + token.text + "#");
    case TokenKind::kNumber:
      return token.suffix == 0 ? Quote(token.text) : Quote(token.text + token.suffix);
    default:
      return Quote(token.text);
  }
}

std::optional<Position> UnclosedList(std::string_view source) {
  std::vector<Position> open;
  try {
    Lexer lexer(source);
    for (Token token = lexer.Next(); token.kind != TokenKind::kEnd; token = lexer.Next()) {
      if (token.kind == TokenKind::kLeftBrace) open.push_back(token.position);
      if (token.kind == TokenKind::kRightBrace && !open.empty()) open.pop_back();
    }
  } catch (const ScriptError&) {
    return std::nullopt;
  }
  if (open.empty()) return std::nullopt;
  return open.front();
}

Lexer::Lexer(std::string_view source) : source_(source) {
  if (source_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
}

char Lexer::Peek(size_t ahead) const {
  return at_ + ahead < source_.size() ? source_[at_ + ahead] : '\0';
}

void Lexer::Advance() {
  if (AtEnd()) return;
  const char c = source_[at_++];
  if (c == '\n') {
    ++position_.line;
    position_.column = 1;
  } else if (!IsContinuationByte(c)) {
    ++position_.column;
  }
}

void Lexer::Fail(const std::string& message) const { throw ScriptError(position_, message); }

void Lexer::SkipBlanks() {
  while (!AtEnd()) {
    const char c = Peek();
    if (IsBlank(c)) {
      Advance();
    } else if (c == '\'') {
      while (!AtEnd() && Peek() != '\n') Advance();
    } else if (c == '_') {
      SkipContinuation();
    } else {
      return;
    }
  }
}

// " _" then only blanks to the end of the line: the statement goes on.
void Lexer::SkipContinuation() {
  const bool after_blank = at_ == 0 || IsBlank(source_[at_ - 1]) || source_[at_ - 1] == '\n';
  size_t ahead = 1;
  while (IsBlank(Peek(ahead))) ++ahead;
  const char next = Peek(ahead);
  if (!after_blank || (next != '\n' && next != '\0')) {
    Fail(
        "unexpected \"_\" (a statement continues on the next line with \" _\" at the end of "
        "the line)");
  }
  for (size_t i = 0; i <= ahead; ++i) Advance();
}

Token Lexer::Next() {
  SkipBlanks();
  Token token;
  token.position = position_;
  if (AtEnd()) return token;
  const char c = Peek();
  if (c == '&' && !StartsRadixNumber()) return Single(TokenKind::kAmpersand);
  if (c == '&' || (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X'))) return LexRadixNumber();
  if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return LexNumber();
  if (c == '"') return LexString();
  if (c == '#') return LexDate();
  if (IsLetter(c)) return LexWord();
  if (c == '.') return Single(TokenKind::kDot);
  if (IsOperator(c)) return LexOperator();
  static constexpr struct {
    char c;
    TokenKind kind;
  } kPunctuation[] = {
      {'\n', TokenKind::kNewline},   {';', TokenKind::kSemicolon},  {':', TokenKind::kSemicolon},
      {'(', TokenKind::kLeftParen},  {')', TokenKind::kRightParen}, {'{', TokenKind::kLeftBrace},
      {'}', TokenKind::kRightBrace}, {',', TokenKind::kComma},      {'=', TokenKind::kEquals},
      {'-', TokenKind::kMinus},      {'+', TokenKind::kPlus},
  };
  for (const auto& p : kPunctuation) {
    if (p.c != c) continue;
    token.kind = p.kind;
    token.text = c == '\n' ? "" : std::string(1, c);
    Advance();
    return token;
  }
  Fail("unexpected character " + ShowCharacter(source_.substr(at_)));
}

Token Lexer::Single(TokenKind kind) {
  Token token{kind, position_, std::string(1, Peek()), 0};
  Advance();
  return token;
}

// "&H" and "&O" start a number, as in the language they come from (so
// "a &Hb" is a bad number, not a and Hb joined); "&" before anything else
// joins strings.
bool Lexer::StartsRadixNumber() const {
  const char radix = static_cast<char>(Peek(1) & ~0x20);
  return radix == 'H' || radix == 'O';
}

// One of the operators the language lacks, "<>", "<=" and ">=" as one.
Token Lexer::LexOperator() {
  Token token = Single(TokenKind::kOperator);
  if (token.text == "<" && (Peek() == '>' || Peek() == '=')) {
    token.text += Peek();
    Advance();
  } else if (token.text == ">" && Peek() == '=') {
    token.text += Peek();
    Advance();
  }
  return token;
}

void Lexer::LexSuffix(Token& token) {
  if (IsSuffix(Peek())) {
    token.suffix = Peek();
    Advance();
  }
  if (IsWordChar(Peek()) || Peek() == '.') {
    Fail("unexpected " + ShowCharacter(source_.substr(at_)) + " after the number " +
         Describe(token));
  }
}

Token Lexer::LexNumber() {
  Token token{TokenKind::kNumber, position_, {}, 0};
  const size_t start = at_;
  while (IsDigit(Peek())) Advance();
  if (Peek() == '.') {
    Advance();
    while (IsDigit(Peek())) Advance();
  }
  if (Peek() == 'E' || Peek() == 'e') {
    Advance();
    if (Peek() == '+' || Peek() == '-') Advance();
    if (!IsDigit(Peek())) Fail("expected the digits of the exponent after \"E\"");
    while (IsDigit(Peek())) Advance();
  }
  token.text = std::string(source_.substr(start, at_ - start));
  LexSuffix(token);
  return token;
}

Token Lexer::LexRadixNumber() {
  Token token{TokenKind::kNumber, position_, {}, 0};
  const size_t start = at_;
  char radix = static_cast<char>(Peek(1) & ~0x20);  // H, O or X (StartsRadixNumber)
  const bool c_style = radix == 'X';
  if (c_style) radix = 'H';
  Advance();
  Advance();
  const auto is_digit = [radix](char c) {
    return radix == 'H' ? IsDigit(c) || ((c & ~0x20) >= 'A' && (c & ~0x20) <= 'F')
                        : c >= '0' && c <= '7';
  };
  if (!is_digit(Peek())) {
    Fail(c_style        ? "expected hexadecimal digits after \"0x\""
         : radix == 'H' ? "expected hexadecimal digits after \"&H\""
                        : "expected octal digits after \"&O\"");
  }
  while (is_digit(Peek())) Advance();
  token.text = std::string(source_.substr(start, at_ - start));
  LexSuffix(token);
  return token;
}

Token Lexer::LexString() {
  Token token{TokenKind::kString, position_, {}, 0};
  Advance();  // the opening quote
  while (true) {
    if (AtEnd() || Peek() == '\n') {
      throw ScriptError(token.position,
                        "unterminated string: a string literal ends with \" on the line where "
                        "it starts");
    }
    if (Peek() == '"') {
      Advance();
      if (Peek() != '"') return token;
    }
    token.text += Peek();
    Advance();
  }
}

Token Lexer::LexDate() {
  Token token{TokenKind::kDate, position_, {}, 0};
  Advance();  // the opening #
  const size_t start = at_;
  while (!AtEnd() && Peek() != '#' && Peek() != '\n') Advance();
  if (Peek() != '#') {
    throw ScriptError(token.position,
                      "unterminated date: a date literal ends with # on the line where it "
                      "starts, as in #1/2/2000#");
  }
  token.text = std::string(source_.substr(start, at_ - start));
  Advance();
  return token;
}

Token Lexer::LexWord() {
  Token token{TokenKind::kWord, position_, {}, 0};
  const size_t start = at_;
  while (IsWordChar(Peek())) Advance();
  token.text = std::string(source_.substr(start, at_ - start));
  // Old code gives a name its type with a character (n%, s$); a script
  // declares it with As.
  const char c = Peek();
  if (c == '$' || c == '%' || c == '!' || c == '#' || c == '@') {
    throw ScriptError(token.position, Quote(token.text + c) +
                                          ": type characters after a name are not supported: "
                                          "declare the type with As, as in Dim n As Long");
  }
  return token;
}

}  // namespace dudUdudADOD::cli
