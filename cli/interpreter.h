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
// temporary argument variant. RawVariant(...) values are never copied or
// cleared: stored into a Variant or passed as they stand.
//
// Errors: ScriptError for what the script got wrong at a position (names not
// declared or declared twice, a placement At memory in use, a backwards
// dimension, too many initial values, statements that do not fit the
// variable); UsageError when --arg-at cannot be honoured; RuntimeError for
// what the platform model raises (CInt(40000), an array too big, ...).
#ifndef DUD_CLI_INTERPRETER_H_
#define DUD_CLI_INTERPRETER_H_

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/client.h"
#include "automation/process.h"
#include "cli/ast.h"

namespace dudUdudADOD::cli {

class Interpreter {
 public:
  explicit Interpreter(automation::Process& process) : process_(process), client_(process) {}

  // Runs every statement and returns the address of the argument variant.
  // `arg_at` places that variant (for a Variant, the variable itself). May be
  // called again: a later script sees the variables of the earlier ones.
  automation::Address Run(const Script& script,
                          std::optional<automation::Address> arg_at = std::nullopt);

  // A declared variable, looked up without regard to case.
  std::optional<automation::Variable> Find(std::string_view name) const;

 private:
  struct Symbol {
    automation::Variable variable;
    bool raw = false;  // holds RawVariant bytes, which it does not own
  };
  struct Value {
    automation::VariantImage image;
    bool owned = false;  // a temporary whose string or array must be freed
    bool raw = false;    // RawVariant bytes
  };

  void Execute(const Statement& statement);
  void Declare(const Declarator& d);
  automation::Variable Place(const Declarator& d, std::optional<automation::Address> at,
                             bool from_option);
  void FillFromFile(const automation::Variable& array, const Declarator& d);
  void AssignList(const automation::Variable& array, const Declarator& d);
  void AssignTo(const automation::Variable& variable, Value value, bool* raw);
  void ReDim(const ReDimStatement& redim);
  void Erase(const EraseStatement& erase);
  void Assign(const AssignStatement& assign);
  automation::Address Pass(const Script& script);

  Symbol& Lookup(const Name& name);
  std::vector<automation::DeclaredBound> EvalBounds(std::span<const Bound> bounds);
  int64_t EvalWhole(const Expr& e, int64_t low, int64_t high, const std::string& what);

  Value Eval(const Expr& e);
  Value Negate(Value v);
  Value Convert(const Expr& e);
  Value MakeArray(const Expr& e);
  Value NewObject(const Expr& e);
  Value Raw(const Expr& e);
  void Free(Value& v);
  void CheckNesting(const Value& v, const Expr& e);

  automation::Process& process_;
  automation::Client client_;
  std::map<std::string, Symbol> symbols_;  // by upper-case name
  std::optional<automation::Address> arg_at_;
  const Declarator* variant_target_ = nullptr;  // the Variant that --arg-at places
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_INTERPRETER_H_
