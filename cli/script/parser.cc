#include "cli/script/parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "automation/safe_array.h"
#include "cli/script/ascii.h"
#include "cli/script/lexer.h"
#include "cli/script/literals.h"
#include "cli/script/suggest.h"
#include "cli/script/words.h"

namespace dudUdudADOD::cli {

using automation::VariantImage;

namespace {

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == TokenKind::kWord && SameWord(token.text, keyword);
}

bool EndsStatement(TokenKind kind) {
  return kind == TokenKind::kNewline || kind == TokenKind::kSemicolon || kind == TokenKind::kEnd;
}

// In Debug.Print, ";" separates values: only ":" and the line end it.
bool SeparatesPrint(const Token& token) {
  return token.kind == TokenKind::kComma ||
         (token.kind == TokenKind::kSemicolon && token.text == ";");
}

bool EndsPrint(const Token& token) { return EndsStatement(token.kind) && !SeparatesPrint(token); }

// The most characters a fixed-length String holds.
constexpr int32_t kMaxFixedLength = 65535;

std::string Where(Position p) {
  return "line " + std::to_string(p.line) + ", column " + std::to_string(p.column);
}

Expr Literal(Position position, const VariantImage& value) {
  Expr e;
  e.position = position;
  e.literal = value;
  return e;
}

Expr Wrap(ExprKind kind, Position position, Expr inner) {
  Expr e;
  e.kind = kind;
  e.position = position;
  e.args.push_back(std::move(inner));
  return e;
}

class Parser {
 public:
  Parser(std::string_view source, automation::Platform platform)
      : lexer_(source), wide_(platform == automation::Platform::kWin64) {
    current_ = lexer_.Next();
  }

  Script Parse();

 private:
  // Counts one level of nesting for the life of the scope.
  class Nest {
   public:
    Nest(Parser& parser, Position at) : parser_(parser) {
      if (++parser_.depth_ > kMaxNesting) {
        throw ScriptError(at, "expression nested too deeply: at most " +
                                  std::to_string(kMaxNesting) +
                                  " levels of parentheses, calls and signs");
      }
    }
    ~Nest() { --parser_.depth_; }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;

   private:
    Parser& parser_;
  };

  // Counts `bytes` more of tree against kMaxTreeBytes.
  void Charge(size_t bytes, Position at);

  Token Advance();
  const Token& PeekNext();
  bool Accept(TokenKind kind);
  bool AcceptKeyword(std::string_view keyword);
  [[noreturn]] void Expected(const std::string& what) const;
  void NotAStatement(const Statement& statement) const;
  void Expect(TokenKind kind, const std::string& what);
  Name ExpectName(const std::string& what);

  Statement ParseStatement();
  void RefuseUnsupported();
  PrintStatement ParseDebugPrint();
  void ParseFixedLength(Declarator& d);
  DimStatement ParseDim();
  Declarator ParseDeclarator();
  void ParseClause(Declarator& d);
  void ParseAsNew(Declarator& d);
  uint16_t ParseType();
  uint16_t ResolveType(uint16_t type, const Token& word) const;
  VariantImage Number(const Token& token, bool negative) const;
  std::vector<Bound> ParseBounds();
  void ParseList(Declarator& d);
  ReDimStatement ParseReDim();
  EraseStatement ParseErase();
  AssignStatement ParseAssign();

  Expr ParseExpression();
  void RefuseOperator() const;
  Expr ParseUnary();
  Expr ParsePrimary();
  Expr ParseWord();
  Expr ParseCall(ExprKind kind, const Token& name);
  std::vector<Expr> ParseArguments(const Token& name);

  Lexer lexer_;
  bool wide_;  // a 64-bit platform: LongLong exists, LongPtr is one
  Token current_;
  std::optional<Token> next_;
  int depth_ = 0;
  size_t tree_bytes_ = 0;
};

void Parser::Charge(size_t bytes, Position at) {
  tree_bytes_ += bytes;
  if (tree_bytes_ > kMaxTreeBytes) {
    throw ScriptError(at, "the script is too large: its statements and values take more than " +
                              std::to_string(kMaxTreeBytes >> 20) +
                              " MiB to hold (FileBytes fills a large array from a file)");
  }
}

Token Parser::Advance() {
  Token previous = std::move(current_);
  if (next_) {
    current_ = std::move(*next_);
    next_.reset();
  } else {
    current_ = lexer_.Next();
  }
  return previous;
}

const Token& Parser::PeekNext() {
  if (!next_) next_ = lexer_.Next();
  return *next_;
}

bool Parser::Accept(TokenKind kind) {
  if (current_.kind != kind) return false;
  Advance();
  return true;
}

bool Parser::AcceptKeyword(std::string_view keyword) {
  if (!IsKeyword(current_, keyword)) return false;
  Advance();
  return true;
}

void Parser::Expected(const std::string& what) const {
  throw ScriptError(current_.position, "expected " + what + ", found " + Describe(current_));
}

void Parser::Expect(TokenKind kind, const std::string& what) {
  if (!Accept(kind)) Expected(what);
}

Name Parser::ExpectName(const std::string& what) {
  if (current_.kind != TokenKind::kWord) Expected(what);
  if (IsReservedWord(current_.text)) {
    throw ScriptError(current_.position,
                      Quote(current_.text) + " is a reserved word and cannot name a variable");
  }
  Token name = Advance();
  return Name{std::move(name.text), name.position};
}

Script Parser::Parse() {
  Script script;
  while (current_.kind != TokenKind::kEnd) {
    if (Accept(TokenKind::kNewline) || Accept(TokenKind::kSemicolon)) continue;
    // What a script always does: every variable is declared.
    if (IsKeyword(current_, "Option") && IsKeyword(PeekNext(), "Explicit")) {
      Advance();
      Advance();
      continue;
    }
    script.statements.push_back(ParseStatement());
    if (!EndsStatement(current_.kind)) {
      NotAStatement(script.statements.back());
      Expected("end of statement");
    }
  }
  script.end = current_.position;
  return script;
}

// A lone name followed by more words is no statement the language has:
// a misspelled keyword, or a Print that a script does not need.
void Parser::NotAStatement(const Statement& statement) const {
  const auto* alone = std::get_if<ExprStatement>(&statement);
  if (alone == nullptr || alone->value.kind != ExprKind::kVariable) return;
  const Expr& word = alone->value;
  if (SameWord(word.text, "Print") || SameWord(word.text, "Debug")) {
    throw ScriptError(word.position,
                      "to print a value's text, write Debug.Print VALUE; to inspect it, the "
                      "name or value alone as the last statement (in -i, ? VALUE prints a "
                      "report)");
  }
  throw ScriptError(word.position, "unknown statement " + Quote(word.text) +
                                       DidYouMean(word.text, StatementWords()) +
                                       ": a statement is Dim, ReDim, Erase, an assignment or a "
                                       "value");
}

Statement Parser::ParseStatement() {
  Charge(sizeof(Statement), current_.position);
  if (IsKeyword(current_, "Rem")) {
    throw ScriptError(current_.position, "comments start with ' (Rem is not supported)");
  }
  RefuseUnsupported();
  if (IsKeyword(current_, "Debug") && PeekNext().kind == TokenKind::kDot) return ParseDebugPrint();
  if (IsKeyword(current_, "Dim")) return ParseDim();
  if (IsKeyword(current_, "ReDim")) return ParseReDim();
  if (IsKeyword(current_, "Erase")) return ParseErase();
  if (AcceptKeyword("Set") || AcceptKeyword("Let")) return ParseAssign();
  if (current_.kind == TokenKind::kWord && !IsReservedWord(current_.text) &&
      PeekNext().kind == TokenKind::kEquals) {
    return ParseAssign();
  }
  Expr value = ParseExpression();
  if (value.kind == ExprKind::kElement && current_.kind == TokenKind::kEquals) {
    Advance();
    return AssignStatement{Name{value.text, value.position}, ParseExpression(), true,
                           std::move(value.args)};
  }
  return ExprStatement{std::move(value)};
}

// A statement word of the language scripts come from that a script does
// not have (For, If, Sub...), or a function of it called as a statement
// (MsgBox "hi"): refused by name, with what to write instead.
void Parser::RefuseUnsupported() {
  if (current_.kind != TokenKind::kWord) return;
  const std::optional<std::string> message = NotSupported(current_.text);
  if (!message) return;
  // A function's name may name a variable: only a call written without
  // parentheses (MsgBox "hi") is surely the function.
  const TokenKind next = PeekNext().kind;
  if (!IsReservedWord(current_.text) &&
      (next == TokenKind::kEquals || next == TokenKind::kLeftParen || EndsStatement(next))) {
    return;
  }
  throw ScriptError(current_.position, *message);
}

// Debug.Print [value] {(";" | ",") [value]}: at "Debug", which a "." follows.
PrintStatement Parser::ParseDebugPrint() {
  Advance();  // Debug
  Advance();  // .
  if (!IsKeyword(current_, "Print")) {
    if (current_.kind != TokenKind::kWord) Expected("\"Print\" after \"Debug.\"");
    throw ScriptError(current_.position,
                      Quote("Debug." + current_.text) + " is not supported: Debug.Print is");
  }
  Advance();
  PrintStatement print;
  while (!EndsPrint(current_)) {
    Charge(sizeof(PrintItem), current_.position);
    PrintItem item;
    if (!SeparatesPrint(current_)) item.value = ParseExpression();
    if (SeparatesPrint(current_)) {
      item.separator = Advance().text[0];
    } else if (!EndsPrint(current_)) {
      item.separator = ';';  // values side by side print side by side
    }
    print.items.push_back(std::move(item));
  }
  return print;
}

DimStatement Parser::ParseDim() {
  Advance();  // Dim
  DimStatement dim;
  do {
    dim.declarators.push_back(ParseDeclarator());
  } while (Accept(TokenKind::kComma));
  return dim;
}

Declarator Parser::ParseDeclarator() {
  Charge(sizeof(Declarator), current_.position);
  Declarator d;
  d.name = ExpectName("a variable name");
  if (Accept(TokenKind::kLeftParen)) {
    d.is_array = true;
    if (!Accept(TokenKind::kRightParen)) d.bounds = ParseBounds();
  }
  if (AcceptKeyword("As")) {
    if (IsKeyword(current_, "New")) {
      ParseAsNew(d);
    } else {
      d.type = ParseType();
      if (current_.kind == TokenKind::kOperator && current_.text == "*") ParseFixedLength(d);
    }
  }
  ParseClause(d);
  ParseClause(d);
  if (d.new_class && (d.value || d.has_list)) {
    throw ScriptError(d.new_class->position, Quote(d.name.text) +
                                                 " is declared As New, which gives it its object: "
                                                 "it takes no initial value");
  }
  return d;
}

// After "As String": "* N", a String of exactly N characters.
void Parser::ParseFixedLength(Declarator& d) {
  const Position star = Advance().position;
  if (d.type != automation::vbString) {
    throw ScriptError(star, "only a String has a fixed length, as in Dim s As String * 10");
  }
  if (d.is_array) {
    throw ScriptError(star,
                      "arrays of fixed-length strings are not supported: declare the array As "
                      "String, or one String * N variable");
  }
  if (current_.kind != TokenKind::kNumber) Expected("the length after \"String *\"");
  const Token length = Advance();
  const VariantImage value = Number(length, false);
  int32_t n = 0;
  if (value.vt() == automation::vbInteger) n = value.integer();
  if (value.vt() == automation::vbLong) n = value.long_value();
  if (n < 1 || n > kMaxFixedLength) {
    throw ScriptError(length.position,
                      "the length of a fixed-length String must be a whole number from 1 to " +
                          std::to_string(kMaxFixedLength));
  }
  d.fixed_length = static_cast<uint32_t>(n);
}

// After "As": "New CLASS", an Object variable holding a new object.
void Parser::ParseAsNew(Declarator& d) {
  const Position at = Advance().position;  // New
  if (d.is_array) {
    throw ScriptError(at,
                      "an array cannot be declared As New: declare it As Object and Set "
                      "each element to New CLASS");
  }
  if (current_.kind != TokenKind::kWord) Expected("a class name after \"New\"");
  d.type = automation::vbObject;
  Token name = Advance();
  d.new_class = Name{std::move(name.text), name.position};
}

// "At ADDR" or "= value", each at most once, in either order.
void Parser::ParseClause(Declarator& d) {
  if (IsKeyword(current_, "At")) {
    if (d.at)
      throw ScriptError(current_.position, "\"At\" is given twice for " + Quote(d.name.text));
    Advance();
    d.at = ParseExpression();
  } else if (current_.kind == TokenKind::kEquals) {
    if (d.value || d.has_list) {
      throw ScriptError(current_.position,
                        "an initial value is given twice for " + Quote(d.name.text));
    }
    Advance();
    if (current_.kind == TokenKind::kLeftBrace) {
      ParseList(d);
    } else {
      d.value = ParseExpression();
    }
  }
}

uint16_t Parser::ParseType() {
  if (current_.kind == TokenKind::kWord) {
    if (std::optional<uint16_t> type = TypeNamed(current_.text)) {
      return ResolveType(*type, Advance());
    }
    const std::string suggestion = DidYouMean(current_.text, TypeNames());
    throw ScriptError(
        current_.position,
        "unknown type " + Quote(current_.text) +
            (suggestion.empty() ? " (expected " + std::string(kTypeList) + ")" : suggestion));
  }
  Expected("a type after \"As\" (" + std::string(kTypeList) + ")");
}

// LongPtr as the platform has it; LongLong (and CLngLng, and the ^ suffix)
// only where the platform has it, as on 64-bit: a 32-bit program has no
// 64-bit integer type.
uint16_t Parser::ResolveType(uint16_t type, const Token& word) const {
  if (type == kLongPtr) return wide_ ? automation::vbLongLong : automation::vbLong;
  if (type == automation::vbLongLong && !wide_) {
    std::string written = word.text;
    if (word.suffix != 0) written += word.suffix;
    throw ScriptError(word.position, Quote(written) +
                                         ": LongLong needs a 64-bit platform (--platform "
                                         "win64); on 32-bit, LongPtr is a Long");
  }
  return type;
}

VariantImage Parser::Number(const Token& token, bool negative) const {
  if (token.suffix == '^') ResolveType(automation::vbLongLong, token);
  return NumberLiteral(token, negative);
}

// After "(": the bounds and the closing ")".
std::vector<Bound> Parser::ParseBounds() {
  std::vector<Bound> bounds;
  do {
    if (bounds.size() == automation::kMaxDims) {
      throw ScriptError(current_.position, "too many dimensions: an array has at most " +
                                               std::to_string(automation::kMaxDims));
    }
    Bound bound{std::nullopt, ParseExpression()};
    if (AcceptKeyword("To")) {
      bound.lower = std::move(bound.upper);
      bound.upper = ParseExpression();
      if (current_.kind != TokenKind::kComma && current_.kind != TokenKind::kRightParen) {
        Expected("\",\" or \")\" after the upper bound");
      }
    } else if (current_.kind != TokenKind::kComma && current_.kind != TokenKind::kRightParen) {
      Expected("\"To\", \",\" or \")\" after the lower bound");
    }
    bounds.push_back(std::move(bound));
  } while (Accept(TokenKind::kComma));
  Expect(TokenKind::kRightParen, "\")\" after the bounds");
  return bounds;
}

// After "=": "{" values "}", which may span lines.
void Parser::ParseList(Declarator& d) {
  d.has_list = true;
  d.list_position = Advance().position;
  const auto skip_lines = [this] {
    while (Accept(TokenKind::kNewline)) {
    }
  };
  skip_lines();
  if (Accept(TokenKind::kRightBrace)) return;
  do {
    skip_lines();
    d.list.push_back(ParseExpression());
    skip_lines();
  } while (Accept(TokenKind::kComma));
  Expect(TokenKind::kRightBrace,
         "\",\" or \"}\" in the list of values that opens at " + Where(d.list_position));
}

ReDimStatement Parser::ParseReDim() {
  Advance();  // ReDim
  ReDimStatement redim;
  redim.preserve = AcceptKeyword("Preserve");
  redim.name = ExpectName("the name of a dynamic array after \"ReDim\"");
  Expect(TokenKind::kLeftParen, "\"(\" and the new bounds after " + Quote(redim.name.text));
  redim.bounds = ParseBounds();
  return redim;
}

EraseStatement Parser::ParseErase() {
  Advance();  // Erase
  EraseStatement erase;
  do {
    Charge(sizeof(Name), current_.position);
    erase.names.push_back(ExpectName("the name of an array"));
  } while (Accept(TokenKind::kComma));
  return erase;
}

AssignStatement Parser::ParseAssign() {
  Name name = ExpectName("a variable name");
  AssignStatement assign;
  assign.name = std::move(name);
  if (current_.kind == TokenKind::kLeftParen) {
    assign.element = true;
    assign.indexes =
        ParseArguments(Token{TokenKind::kWord, assign.name.position, assign.name.text});
  }
  Expect(TokenKind::kEquals, "\"=\" after " + Quote(assign.name.text));
  assign.value = ParseExpression();
  return assign;
}

// value {"&" value}: one value, or several joined as text.
Expr Parser::ParseExpression() {
  Expr first = ParseUnary();
  if (current_.kind != TokenKind::kAmpersand) {
    RefuseOperator();
    return first;
  }
  Expr joined;
  joined.kind = ExprKind::kConcat;
  joined.position = current_.position;
  joined.args.push_back(std::move(first));
  while (Accept(TokenKind::kAmpersand)) joined.args.push_back(ParseUnary());
  RefuseOperator();
  return joined;
}

// After a value: an operator that the language scripts come from has and a
// script does not.
void Parser::RefuseOperator() const {
  const TokenKind kind = current_.kind;
  if (kind == TokenKind::kPlus || kind == TokenKind::kMinus || kind == TokenKind::kOperator) {
    throw ScriptError(current_.position,
                      "the operator " + Quote(current_.text) +
                          " is not supported: a script has no arithmetic, comparisons or "
                          "logic; & joins values as text");
  }
  if (kind == TokenKind::kDot) {
    throw ScriptError(current_.position,
                      "\".\" is not supported: a script's values have no members (of the "
                      "X.Y forms, a script has Debug.Print)");
  }
  if (kind == TokenKind::kWord && IsReservedWord(current_.text)) {
    if (std::optional<std::string> message = NotSupported(current_.text)) {
      throw ScriptError(current_.position, *message);
    }
  }
}

Expr Parser::ParseUnary() {
  Charge(sizeof(Expr), current_.position);
  if (current_.kind != TokenKind::kMinus && current_.kind != TokenKind::kPlus) {
    return ParsePrimary();
  }
  const Token sign = Advance();
  Nest nest(*this, sign.position);
  const bool negative = sign.kind == TokenKind::kMinus;
  if (negative && current_.kind == TokenKind::kNumber && !IsRadixNumber(current_.text)) {
    return Literal(sign.position, Number(Advance(), true));
  }
  // A sign makes a value of a variable, as parentheses do.
  return Wrap(negative ? ExprKind::kNegate : ExprKind::kParen, sign.position, ParseUnary());
}

Expr Parser::ParsePrimary() {
  const Position at = current_.position;
  switch (current_.kind) {
    case TokenKind::kNumber:
      return Literal(at, Number(Advance(), false));
    case TokenKind::kDate:
      return Literal(at, DateLiteral(Advance()));
    case TokenKind::kString: {
      Charge(2 * current_.text.size(), at);  // as the model will hold it, in UTF-16
      Expr e;
      e.kind = ExprKind::kString;
      e.position = at;
      e.text = Advance().text;
      return e;
    }
    case TokenKind::kLeftParen: {
      Nest nest(*this, at);
      Advance();
      Expr inner = ParseExpression();
      Expect(TokenKind::kRightParen, "\")\" to close the \"(\" at " + Where(at));
      return Wrap(ExprKind::kParen, at, std::move(inner));
    }
    case TokenKind::kWord:
      return ParseWord();
    default:
      Expected("a value");
  }
}

Expr Parser::ParseWord() {
  const Position at = current_.position;
  static constexpr std::array<std::pair<std::string_view, VariantImage (*)()>, 5> kConstants = {{
      {"True", [] { return VariantImage::Boolean(true); }},
      {"False", [] { return VariantImage::Boolean(false); }},
      {"Empty", [] { return VariantImage::Empty(); }},
      {"Null", [] { return VariantImage::Null(); }},
      {"Nothing", [] { return VariantImage::Object(0); }},
  }};
  for (const auto& [word, make] : kConstants) {
    if (AcceptKeyword(word)) return Literal(at, make());
  }
  if (IsKeyword(current_, "New")) {
    Advance();
    if (current_.kind != TokenKind::kWord) Expected("a class name after \"New\"");
    return ParseCall(ExprKind::kNew, Advance());
  }
  if (IsKeyword(current_, "Array")) return ParseCall(ExprKind::kArray, Advance());
  if (IsKeyword(current_, "RawVariant")) return ParseCall(ExprKind::kRawVariant, Advance());
  if (IsKeyword(current_, "FileBytes")) return ParseCall(ExprKind::kFileBytes, Advance());
  if (ConversionNamed(current_.text)) return ParseCall(ExprKind::kConvert, Advance());
  if (IsReservedWord(current_.text)) {
    if (std::optional<std::string> message = NotSupported(current_.text)) {
      throw ScriptError(at, *message);
    }
    Expected("a value");
  }
  Token name = Advance();
  Expr e;
  e.kind = ExprKind::kVariable;
  e.position = at;
  if (current_.kind == TokenKind::kLeftParen) {
    e.kind = ExprKind::kElement;
    e.args = ParseArguments(name);
  }
  e.text = std::move(name.text);
  return e;
}

// The call's arguments, checked for their number.
Expr Parser::ParseCall(ExprKind kind, const Token& name) {
  Expr e;
  e.kind = kind;
  e.position = name.position;
  e.text = name.text;
  if (kind == ExprKind::kNew && current_.kind != TokenKind::kLeftParen) return e;
  e.args = ParseArguments(name);
  const size_t count = e.args.size();
  if (kind == ExprKind::kConvert) {
    e.type = ResolveType(*ConversionNamed(name.text), name);
    if (count != 1) throw ScriptError(name.position, name.text + " takes one value");
  } else if (kind == ExprKind::kNew && count != 1) {
    throw ScriptError(name.position, Quote("New " + name.text + "(...)") +
                                         " takes one value: the object's default value");
  } else if (kind == ExprKind::kFileBytes && (count != 1 || e.args[0].kind != ExprKind::kString)) {
    throw ScriptError(name.position,
                      "FileBytes takes one file name in quotes, as in "
                      "FileBytes(\"data.bin\")");
  } else if (kind == ExprKind::kRawVariant && count != 6) {
    throw ScriptError(name.position,
                      "RawVariant takes 6 values: vt, reserved1, reserved2, reserved3, low32, "
                      "high32");
  }
  return e;
}

std::vector<Expr> Parser::ParseArguments(const Token& name) {
  Nest nest(*this, current_.position);
  Expect(TokenKind::kLeftParen, "\"(\" after " + name.text);
  std::vector<Expr> args;
  if (Accept(TokenKind::kRightParen)) return args;
  do {
    args.push_back(ParseExpression());
  } while (Accept(TokenKind::kComma));
  Expect(TokenKind::kRightParen, "\",\" or \")\" after a value of " + name.text);
  return args;
}

}  // namespace

Script ParseScript(std::string_view source, automation::Platform platform) {
  return Parser(source, platform).Parse();
}

}  // namespace dudUdudADOD::cli
