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
#include "cli/script/parser_internal.h"
#include "cli/script/suggest.h"
#include "cli/script/words.h"

namespace dudUdudADOD::cli {

namespace parser_internal {

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

}  // namespace parser_internal

Script ParseScript(std::string_view source, automation::Platform platform) {
  return parser_internal::Parser(source, platform).Parse();
}

}  // namespace dudUdudADOD::cli
