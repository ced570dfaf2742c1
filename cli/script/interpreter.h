// Interpreter: runs a parsed ravoduze script in a modelled client process
// and passes the value to inspect, as a BASIC-family program would before
// calling the inspector.
//
// Used by RunRavoduze and by tests. Declarations, assignments, ReDim and
// Erase go through automation::Client, so variables lie where the client's
// runtime puts them (the first 4-byte local at 1243024). Temporaries that an
// expression makes (strings, arrays) are freed when a statement is done with
// them, or moved into the variable that takes them.
//
// What is passed: the variable that the last statement declared (the last
// declarator of a Dim), assigned, ReDim'd or erased, or that the last
// statement names alone; otherwise the last statement's value, in a
// temporary argument variant. Debug.Print statements do not count: the last
// statement of another kind decides (a value it gives is evaluated after
// the prints that follow it). RawVariant(...) values are never copied or
// cleared: stored into a Variant or passed as they stand. A fixed-length
// String passes through a temporary String, by reference (client.h).
//
// Debug.Print hands its text to the printer (none: the text is dropped) as
// UTF-8, each line ended by "\n", as the platform's Immediate window shows
// values: a number with a space before it (where a minus sign would stand)
// and one after, Null as "Null", Empty as nothing, other values as CStr
// gives them; "," goes on to the next print zone of 14 columns.
//
// A session that goes on (ravoduze -i) uses RunStatements, which passes
// nothing, and PassFor, which passes one value for one call and then takes
// the argument back.
//
// A Dim that fails declares nothing: the names it declared before the error
// are taken back with what they hold, and the stack slots it pushed are
// popped, so declaring them again puts them where a script would. Memory it
// placed with At stays taken. Statements before the failing one stand.
//
// Errors: ScriptError for what the script got wrong at a position (names not
// declared or declared twice, a placement At memory in use, a backwards
// dimension, too many initial values, statements that do not fit the
// variable); UsageError when --arg-at cannot be honoured; RuntimeError for
// what the platform model raises (CInt(40000), an array too big, ...).
#ifndef DUD_CLI_SCRIPT_INTERPRETER_H_
#define DUD_CLI_SCRIPT_INTERPRETER_H_

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/script/ast.h"
#include "model/client.h"
#include "model/process.h"
#include "model/safe_array_heap.h"

namespace dudUdudADOD::cli {

// True when every statement of a script, and it has some, is a Debug.Print:
// it passes nothing, and Run refuses it as it refuses an empty script.
bool OnlyPrints(const Script& script);

// The name of the variable that Run passes for `script`, as written where
// the deciding statement names it; nullopt when it passes a value.
std::optional<std::string> InspectedName(const Script& script);

class Interpreter {
 public:
  using Printer = std::function<void(std::string_view text)>;

  explicit Interpreter(automation::Process& process) : process_(process), client_(process) {}

  // Where Debug.Print writes.
  void set_printer(Printer printer) { printer_ = std::move(printer); }
  // Ends a line that a Debug.Print left open with a trailing ";" or ",".
  void EndPrintLine();

  // Runs every statement and returns the address of the argument variant.
  // `arg_at` places that variant (for a Variant, the variable itself). May be
  // called again: a later script sees the variables of the earlier ones.
  automation::Address Run(const Script& script,
                          std::optional<automation::Address> arg_at = std::nullopt);

  // Runs every statement and passes nothing.
  void RunStatements(const Script& script);

  // Passes `value` the way Run passes a last statement that is only a name or
  // a value, hands the argument's address to `use` (which may throw), then
  // takes the argument back: without `arg_at` its stack space is popped and
  // a temporary value is freed, so later declarations lie where a script
  // would put them. With `arg_at` the argument variant lies there; the cell
  // stays placed, holding Empty afterwards, and later calls with the same
  // address reuse it. When `use` throws, a cell that this call placed is
  // taken back, so a failed call leaves the process as it found it. A
  // Variant passes as itself, so with `arg_at` it must lie there (UsageError
  // otherwise, as when the cell cannot go there).
  void PassFor(const Expr& value, std::optional<automation::Address> arg_at,
               const std::function<void(automation::Address)>& use);

  // Where the expression evaluated last stands: after a run-time error, the
  // value that raised it or the one just before it.
  Position last_position() const { return last_position_; }

  // A declared variable, looked up without regard to case.
  std::optional<automation::Variable> Find(std::string_view name) const;

 private:
  struct Symbol {
    automation::Variable variable;
    bool raw = false;  // holds RawVariant bytes, which it does not own
    std::string name;  // as declared, for "did you mean"
  };
  struct Value {
    automation::VariantImage image;
    bool owned = false;  // a temporary whose string or array must be freed
    bool raw = false;    // RawVariant bytes
  };

  void Execute(const Statement& statement);
  void Print(const PrintStatement& print);
  std::u16string PrintText(const Expr& e);
  void DeclareAll(const DimStatement& dim);
  void Declare(const Declarator& d);
  void Initialize(Symbol& symbol, const Declarator& d);
  void Forget(const std::string& key);
  automation::Variable Place(const Declarator& d, std::optional<automation::Address> at,
                             bool from_option);
  void FillFromFile(const automation::Variable& array, const Declarator& d);
  uint64_t SizeByFile(const automation::Variable& array, uint64_t size);
  void AssignList(const automation::Variable& array, const Declarator& d);
  void AssignTo(const automation::Variable& variable, Value value, bool* raw);
  void ReDim(const ReDimStatement& redim);
  void Erase(const EraseStatement& erase);
  void Assign(const AssignStatement& assign);
  automation::Address Pass(const Statement& last);
  automation::Address PassOnce(const std::optional<automation::Variable>& variable,
                               const automation::VariantImage& image,
                               std::optional<automation::Address> at);

  Symbol& Lookup(const Name& name);
  std::vector<std::string_view> DeclaredNames() const;
  automation::Variable Element(const Name& name, std::span<const Expr> indexes);
  std::vector<automation::DeclaredBound> EvalBounds(std::span<const Bound> bounds);
  int64_t EvalWhole(const Expr& e, int64_t low, int64_t high, const std::string& what);

  Value Eval(const Expr& e);
  Value Negate(Value v);
  Value Convert(const Expr& e);
  Value MakeArray(const Expr& e);
  Value NewObject(const Expr& e);
  Value Raw(const Expr& e);
  Value Concat(const Expr& e);
  Value FixedStringValue(const automation::Variable& variable);
  void Free(Value& v);
  void CheckNesting(const Value& v, const Expr& e);

  automation::Process& process_;
  automation::Client client_;
  std::map<std::string, Symbol> symbols_;  // by upper-case name
  std::optional<automation::Address> arg_at_;
  const Declarator* variant_target_ = nullptr;    // the Variant that --arg-at places
  std::set<automation::Address> argument_cells_;  // placed by PassFor, reused
  Position last_position_;
  Printer printer_;
  size_t print_column_ = 0;  // characters printed since the last line end
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_INTERPRETER_H_
