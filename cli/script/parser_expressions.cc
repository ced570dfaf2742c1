// The parser's values: joined with &, signs, literals, names, elements,
// calls, and the operators a script lacks. Statements are in parser.cc.
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "cli/script/literals.h"
#include "cli/script/parser_internal.h"
#include "cli/script/words.h"

namespace dudUdudADOD::cli::parser_internal {

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

}  // namespace dudUdudADOD::cli::parser_internal
