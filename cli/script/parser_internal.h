// The parser's class and the helpers its two files share: parser.cc reads
// statements and declarations, parser_expressions.cc values. Included by
// them alone; parser.h is the interface.
#ifndef DUD_CLI_SCRIPT_PARSER_INTERNAL_H_
#define DUD_CLI_SCRIPT_PARSER_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/platform.h"
#include "automation/variant.h"
#include "cli/script/ascii.h"
#include "cli/script/ast.h"
#include "cli/script/lexer.h"
#include "cli/script/parser.h"

namespace dudUdudADOD::cli::parser_internal {

using automation::VariantImage;

inline bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == TokenKind::kWord && SameWord(token.text, keyword);
}

inline bool EndsStatement(TokenKind kind) {
  return kind == TokenKind::kNewline || kind == TokenKind::kSemicolon || kind == TokenKind::kEnd;
}

// In Debug.Print, ";" separates values: only ":" and the line end it.
inline bool SeparatesPrint(const Token& token) {
  return token.kind == TokenKind::kComma ||
         (token.kind == TokenKind::kSemicolon && token.text == ";");
}

inline bool EndsPrint(const Token& token) {
  return EndsStatement(token.kind) && !SeparatesPrint(token);
}

// The most characters a fixed-length String holds.
inline constexpr int32_t kMaxFixedLength = 65535;

inline std::string Where(Position p) {
  return "line " + std::to_string(p.line) + ", column " + std::to_string(p.column);
}

inline Expr Literal(Position position, const VariantImage& value) {
  Expr e;
  e.position = position;
  e.literal = value;
  return e;
}

inline Expr Wrap(ExprKind kind, Position position, Expr inner) {
  Expr e;
  e.kind = kind;
  e.position = position;
  e.args.push_back(std::move(inner));
  return e;
}

// Reads one script a token at a time (two where a statement's first word
// needs the next), building its tree and counting what it holds.
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

}  // namespace dudUdudADOD::cli::parser_internal

#endif  // DUD_CLI_SCRIPT_PARSER_INTERNAL_H_
