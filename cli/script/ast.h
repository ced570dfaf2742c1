// The syntax tree of a ravoduze script: what the parser builds and the
// interpreter runs.
//
// A script is a list of statements: Dim (one or more declarators), ReDim,
// Erase, an assignment (to a variable or an array's element), Debug.Print,
// or a lone expression. Expressions are literals, variables, array
// elements, conversions, Array(...), New, RawVariant(...), a sign,
// parentheses, which make a variable's value a temporary, and values joined
// with &.
#ifndef DUD_CLI_SCRIPT_AST_H_
#define DUD_CLI_SCRIPT_AST_H_

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "automation/variant.h"
#include "cli/script/script_error.h"

namespace dudUdudADOD::cli {

enum class ExprKind {
  kLiteral,     // `literal`: a number, date, Boolean, Empty, Null or Nothing
  kString,      // `text`: a string literal's value (UTF-8)
  kVariable,    // `text`: the name as written
  kParen,       // args[0] in parentheses: a temporary copy of its value
  kNegate,      // -args[0]
  kConvert,     // `text`: CInt, CStr...; `type`: the target (vbVariant: CVar,
                // vbError: CVErr); args[0]
  kArray,       // Array(args...)
  kNew,         // New `text`, with args[0] as its default value when given
  kRawVariant,  // RawVariant(vt, reserved1, reserved2, reserved3, low32, high32)
  kFileBytes,   // FileBytes("path"): args[0] is the file name, a string literal
  kElement,     // `text`(args...): an array's element, or a call of an unknown
                // function, which only the declared names can tell apart
  kConcat,      // args[0] & args[1] & ...: at least two values joined as text
};

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Position position;
  automation::VariantImage literal;
  uint16_t type = 0;
  std::string text;
  std::vector<Expr> args;
};

struct Name {
  std::string text;
  Position position;
};

// One dimension: `lower To upper`, or just `upper` (lower 0).
struct Bound {
  std::optional<Expr> lower;
  Expr upper;
};

struct Declarator {
  Name name;
  bool is_array = false;
  std::vector<Bound> bounds;  // empty for a dynamic array: Dim d()
  uint16_t type = automation::vbVariant;
  std::optional<Expr> at;         // At ADDR
  std::optional<Expr> value;      // = value
  std::optional<Name> new_class;  // As New CLASS: an Object holding a new one
  uint32_t fixed_length = 0;      // As String * N: N characters (type vbString)
  bool has_list = false;          // = {values...}
  std::vector<Expr> list;
  Position list_position;
};

struct DimStatement {
  std::vector<Declarator> declarators;
};

struct ReDimStatement {
  Name name;
  std::vector<Bound> bounds;
  bool preserve = false;  // ReDim Preserve: keeps the elements
};

struct EraseStatement {
  std::vector<Name> names;
};

struct AssignStatement {
  Name name;
  Expr value;
  bool element = false;  // name(indexes) = value
  std::vector<Expr> indexes;
};

struct ExprStatement {
  Expr value;
};

// Debug.Print: each item prints its value's text, if it has one, then
// moves as its separator says: ';' stays where the text ended, ',' goes on
// to the next print zone, 0 (only after the last item) ends the line. No
// items at all print an empty line.
struct PrintItem {
  std::optional<Expr> value;
  char separator = 0;
};

struct PrintStatement {
  std::vector<PrintItem> items;
};

using Statement = std::variant<DimStatement, ReDimStatement, EraseStatement, AssignStatement,
                               ExprStatement, PrintStatement>;

struct Script {
  std::vector<Statement> statements;
  Position end;  // where the script ends
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_AST_H_
