#include "cli/script/interpreter.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "automation/utf8.h"
#include "cli/script/ascii.h"
#include "cli/script/interpreter_helpers.h"
#include "cli/script/parser.h"
#include "cli/script/regular_file.h"
#include "cli/script/suggest.h"
#include "model/bstr_heap.h"
#include "model/safe_array_heap.h"
#include "model/variant_conversions.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::cli {

using namespace automation;  // the platform model is this file's vocabulary
using interpreter_helpers::NumberText;
using interpreter_helpers::OnFailure;

namespace {

// The name the last statement gives to what is inspected, if any.
std::optional<Name> TargetOf(const Statement& last) {
  if (const auto* dim = std::get_if<DimStatement>(&last)) return dim->declarators.back().name;
  if (const auto* assign = std::get_if<AssignStatement>(&last)) return assign->name;
  if (const auto* redim = std::get_if<ReDimStatement>(&last)) return redim->name;
  if (const auto* erase = std::get_if<EraseStatement>(&last)) return erase->names.back();
  const Expr& value = std::get<ExprStatement>(last).value;
  if (value.kind == ExprKind::kVariable) return Name{value.text, value.position};
  return std::nullopt;
}

// The statement that decides what is passed: the last one that is not a
// Debug.Print, or npos.
size_t DecidingStatement(const Script& script) {
  for (size_t i = script.statements.size(); i-- > 0;) {
    if (!std::holds_alternative<PrintStatement>(script.statements[i])) return i;
  }
  return std::string::npos;
}

// The Dim declarator of a scalar Variant named `name`, or nullptr.
const Declarator* VariantDeclarator(const Script& script, const std::string& name) {
  for (const Statement& statement : script.statements) {
    const auto* dim = std::get_if<DimStatement>(&statement);
    if (dim == nullptr) continue;
    for (const Declarator& d : dim->declarators) {
      if (Upper(d.name.text) != name) continue;
      return !d.is_array && d.type == vbVariant ? &d : nullptr;
    }
  }
  return nullptr;
}

// The most FileBytes reads of a file whose size the system does not tell
// (files under /proc), before it knows how large an array to make.
constexpr size_t kMaxUnsizedFile = size_t{16} << 20;

// FileBytes reads regular files only, and finds out on the file it opened:
// a named pipe opens without waiting for a writer and is refused, and so
// are a directory and a device, which have no byte count to match.
std::unique_ptr<RegularFile> OpenForFileBytes(const std::string& path, const Expr& where) {
  try {
    return std::make_unique<RegularFile>(path);
  } catch (const FileRefused& e) {
    if (!e.opened()) {
      throw ScriptError(where.position, "cannot open " + Quote(path) + ": " + e.what());
    }
    throw ScriptError(where.position, "cannot read " + Quote(path) + ": " + e.what() +
                                          (std::string_view(e.what()).starts_with("it is ")
                                               ? "; FileBytes reads a regular file"
                                               : ""));
  }
}

uint32_t CellSize(const Declarator& d, const Layout& layout) {
  if (d.fixed_length != 0) return 2 * d.fixed_length;
  return d.is_array ? layout.pointer_size : StorageSize(d.type, layout);
}

}  // namespace

std::optional<std::string> InspectedName(const Script& script) {
  const size_t deciding = DecidingStatement(script);
  if (deciding == std::string::npos) return std::nullopt;
  const std::optional<Name> target = TargetOf(script.statements[deciding]);
  if (!target) return std::nullopt;
  return target->text;
}

bool OnlyPrints(const Script& script) {
  return !script.statements.empty() && DecidingStatement(script) == std::string::npos;
}

Address Interpreter::Run(const Script& script, std::optional<Address> arg_at) {
  const size_t deciding = DecidingStatement(script);
  if (deciding == std::string::npos) {
    throw ScriptError(script.end, script.statements.empty()
                                      ? "nothing to inspect: the script has no statements"
                                      : "nothing to inspect: the script only prints");
  }
  arg_at_ = arg_at;
  variant_target_ = nullptr;
  const Statement& last = script.statements[deciding];
  const std::optional<Name> target = TargetOf(last);
  if (arg_at && target) variant_target_ = VariantDeclarator(script, Upper(target->text));
  // A deciding statement that is only a value is evaluated once, by Pass.
  for (size_t i = 0; i < script.statements.size(); ++i) {
    if (i != deciding || target) Execute(script.statements[i]);
  }
  return Pass(last);
}

std::optional<Variable> Interpreter::Find(std::string_view name) const {
  auto it = symbols_.find(Upper(name));
  if (it == symbols_.end()) return std::nullopt;
  return it->second.variable;
}

void Interpreter::RunStatements(const Script& script) {
  arg_at_.reset();
  variant_target_ = nullptr;
  for (const Statement& statement : script.statements) Execute(statement);
}

void Interpreter::Execute(const Statement& statement) {
  if (const auto* dim = std::get_if<DimStatement>(&statement)) {
    DeclareAll(*dim);
  } else if (const auto* redim = std::get_if<ReDimStatement>(&statement)) {
    ReDim(*redim);
  } else if (const auto* erase = std::get_if<EraseStatement>(&statement)) {
    Erase(*erase);
  } else if (const auto* assign = std::get_if<AssignStatement>(&statement)) {
    Assign(*assign);
  } else if (const auto* print = std::get_if<PrintStatement>(&statement)) {
    Print(*print);
  } else {
    Value v = Eval(std::get<ExprStatement>(statement).value);
    Free(v);
  }
}

Address Interpreter::Pass(const Statement& last) {
  const std::optional<Name> target = TargetOf(last);
  std::optional<Variable> variable;
  Value value;
  if (target) {
    variable = Lookup(*target).variable;
  } else {
    value = Eval(std::get<ExprStatement>(last).value);
  }
  try {
    if (variable) return client_.Pass(*variable, arg_at_);
    return client_.PassValue(value.image, arg_at_);  // the temporary variant takes it over
  } catch (const RuntimeError& e) {
    if (!arg_at_ || e.number() != kInvalidArgument) throw;
    throw UsageError("--arg-at " + std::to_string(*arg_at_) +
                     ": the 16-byte argument variant cannot go there: that memory is in use "
                     "or cannot hold it");
  }
}

void Interpreter::PassFor(const Expr& e, std::optional<Address> arg_at,
                          const std::function<void(Address)>& use) {
  arg_at_.reset();
  variant_target_ = nullptr;
  std::optional<Variable> variable;
  Value value;
  if (e.kind == ExprKind::kVariable) {
    variable = Lookup(Name{e.text, e.position}).variable;
  } else {
    value = Eval(e);
  }
  std::optional<StackFrame> frame;  // pops the argument and its call's gap
  if (!arg_at) frame.emplace(process_.stack());
  // A fixed-length String passes through a temporary String in a cell of
  // the frame, which goes with the call.
  std::optional<Address> temporary;
  const Address before_temporary = process_.stack().pointer();
  if (variable && variable->kind == VariableKind::kFixedString) {
    value = Value{client_.FixedStringTemporary(*variable)};
    temporary = value.image.pointer();
    variable.reset();
  }
  const Address after_temporary = process_.stack().pointer();
  const Address stack_pointer = before_temporary;
  const bool had_cell = arg_at && argument_cells_.count(*arg_at) != 0;
  const auto release = [&] {
    Free(value);
    if (arg_at && argument_cells_.count(*arg_at) != 0) {
      StoreVariant(process_.memory(), *arg_at, VariantImage::Empty());
    }
    if (temporary) {
      SysFreeString(process_, ReadPointer(process_.memory(), *temporary));
      if (process_.stack().pointer() == after_temporary) process_.stack().Restore(before_temporary);
    }
  };
  try {
    use(PassOnce(variable, variable ? client_.Reference(*variable) : value.image, arg_at));
  } catch (...) {
    release();
    // A cell placed for a call that failed is taken back: placed low in the
    // stack it would push every later frame under it, out of stack space.
    if (arg_at && !had_cell && argument_cells_.erase(*arg_at) != 0) {
      client_.Withdraw(*arg_at);
      process_.stack().Restore(stack_pointer);
    }
    throw;
  }
  release();
}

// The argument for PassFor: a Variant itself, or a variant holding `image`
// on the stack, at `at`, or in the cell an earlier call placed at `at`.
Address Interpreter::PassOnce(const std::optional<Variable>& variable, const VariantImage& image,
                              std::optional<Address> at) {
  if (variable && variable->kind == VariableKind::kVariant) {
    if (at && *at != variable->address) {
      throw UsageError("a Variant passes as itself: it lies at " +
                       std::to_string(variable->address) + ", not at " + std::to_string(*at));
    }
    return variable->address;
  }
  if (at && argument_cells_.count(*at) != 0) {
    StoreVariant(process_.memory(), *at, image);
    return *at;
  }
  try {
    const Address arg = client_.PassValue(image, at);
    if (at) argument_cells_.insert(*at);
    return arg;
  } catch (const RuntimeError& e) {
    if (!at || e.number() != kInvalidArgument) throw;
    throw UsageError("the 16-byte argument variant cannot go at " + std::to_string(*at) +
                     ": that memory is in use or cannot hold it");
  }
}

Interpreter::Symbol& Interpreter::Lookup(const Name& name) {
  auto it = symbols_.find(Upper(name.text));
  if (it == symbols_.end()) {
    if (std::optional<std::string> message = NotSupported(name.text)) {
      throw ScriptError(name.position, *message);
    }
    throw ScriptError(name.position, Quote(name.text) + " is not declared" +
                                         DidYouMean(name.text, DeclaredNames()) +
                                         ": declare it first with Dim");
  }
  return it->second;
}

std::vector<std::string_view> Interpreter::DeclaredNames() const {
  std::vector<std::string_view> names;
  for (const auto& [key, symbol] : symbols_) names.push_back(symbol.name);
  return names;
}

// NAME(indexes): an element of an array variable, or of the array a
// Variant holds. A name that is not declared may be a misspelled function.
Variable Interpreter::Element(const Name& name, std::span<const Expr> indexes) {
  if (symbols_.count(Upper(name.text)) == 0) {
    if (std::optional<std::string> message = NotSupported(name.text)) {
      throw ScriptError(name.position, *message);
    }
    std::vector<std::string_view> known = DeclaredNames();
    known.insert(known.end(), FunctionNames().begin(), FunctionNames().end());
    throw ScriptError(name.position, "unknown function or array " + Quote(name.text) +
                                         DidYouMean(name.text, known));
  }
  const Variable& variable = Lookup(name).variable;
  AddressSpace& memory = process_.memory();
  Address descriptor = 0;
  if (variable.kind == VariableKind::kFixedArray || variable.kind == VariableKind::kDynamicArray) {
    descriptor = ReadPointer(memory, variable.address);
  } else {
    const VariantImage held = variable.kind == VariableKind::kVariant
                                  ? Dereference(memory, LoadVariant(memory, variable.address))
                                  : VariantImage::Empty();
    if ((held.vt() & vbArray) == 0) {
      throw ScriptError(name.position, Quote(name.text) + " is not an array, so " +
                                           Quote(name.text + "(...)") + " has no elements");
    }
    descriptor = held.pointer();
  }
  std::vector<int32_t> at;
  for (const Expr& index : indexes) {
    Value v = Eval(index);
    OnFailure free_value([&] { Free(v); });
    at.push_back(VariantToLong(process_, v.image));
    Free(v);
  }
  last_position_ = name.position;
  const Address element = SafeArrayElementAddress(memory, descriptor, at);
  const uint16_t type = SafeArrayVarType(memory, descriptor);
  return Variable{type == vbVariant ? VariableKind::kVariant : VariableKind::kScalar, type,
                  element};
}

void Interpreter::Declare(const Declarator& d) {
  const std::string key = Upper(d.name.text);
  if (symbols_.count(key) != 0) {
    throw ScriptError(d.name.position, Quote(d.name.text) + " is already declared");
  }
  std::optional<Address> at;
  if (d.at) {
    // A 32-bit address may be written as the signed number the report shows.
    const Layout& layout = process_.memory().layout();
    at = layout.pointer_size == 4
             ? static_cast<uint32_t>(EvalWhole(*d.at, INT32_MIN, UINT32_MAX, "an address"))
             : static_cast<Address>(
                   EvalWhole(*d.at, 0, static_cast<int64_t>(layout.address_end - 1), "an address"));
  }
  const bool from_option = &d == variant_target_;
  if (from_option && at && *at != *arg_at_) {
    throw UsageError("--arg-at " + std::to_string(*arg_at_) + ": the argument is the Variant " +
                     Quote(d.name.text) + " itself, which the script places At " +
                     std::to_string(*at));
  }
  if (from_option) at = arg_at_;
  Symbol& symbol = symbols_[key] = Symbol{Place(d, at, from_option), false, d.name.text};
  try {
    Initialize(symbol, d);
  } catch (...) {
    Forget(key);
    throw;
  }
}

// Takes back a declaration: frees what the variable holds (RawVariant bytes
// are not its own) and forgets its name.
void Interpreter::Forget(const std::string& key) {
  const Symbol symbol = symbols_.at(key);
  symbols_.erase(key);
  const Variable& v = symbol.variable;
  AddressSpace& memory = process_.memory();
  switch (v.kind) {
    case VariableKind::kFixedArray:
    case VariableKind::kDynamicArray:
      SafeArrayDestroy(process_, ReadPointer(memory, v.address));
      WritePointer(memory, v.address, 0);
      return;
    case VariableKind::kVariant:
      if (!symbol.raw) {
        VariantImage old = LoadVariant(memory, v.address);
        VariantClear(process_, old);
      }
      return;
    case VariableKind::kScalar:
      if (v.type == vbString) SysFreeString(process_, ReadPointer(memory, v.address));
      return;
    case VariableKind::kFixedString:
      return;  // its characters are its own storage
  }
}

// A Dim declares all of its names or, when one fails, none. Names are taken
// back last first, so the heap takes back their blocks; their stack slots
// are dead, so they are popped.
void Interpreter::DeclareAll(const DimStatement& dim) {
  const Address stack_pointer = process_.stack().pointer();
  std::vector<std::string> declared;
  try {
    for (const Declarator& d : dim.declarators) {
      Declare(d);
      declared.push_back(Upper(d.name.text));
    }
  } catch (...) {
    for (auto key = declared.rbegin(); key != declared.rend(); ++key) Forget(*key);
    process_.stack().Restore(stack_pointer);
    throw;
  }
}

// The value a declaration gives: a list, a file's bytes or an expression.
void Interpreter::Initialize(Symbol& symbol, const Declarator& d) {
  if (d.new_class) {
    Expr make;
    make.kind = ExprKind::kNew;
    make.position = d.new_class->position;
    make.text = d.new_class->text;
    AssignTo(symbol.variable, Eval(make), &symbol.raw);
  } else if (d.has_list) {
    AssignList(symbol.variable, d);
  } else if (d.value && d.value->kind == ExprKind::kFileBytes) {
    FillFromFile(symbol.variable, d);
  } else if (d.value) {
    if (symbol.variable.kind == VariableKind::kFixedArray) {
      throw ScriptError(d.value->position,
                        "a fixed array takes its initial values as a list in braces, as in "
                        "= {1, 2, 3}");
    }
    AssignTo(symbol.variable, Eval(*d.value), &symbol.raw);
  }
}

// Declares the variable itself, in the client's frame or `at` an address.
Variable Interpreter::Place(const Declarator& d, std::optional<Address> at, bool from_option) {
  try {
    if (d.fixed_length != 0) return client_.DimFixedString(d.fixed_length, at);
    if (!d.is_array) return client_.Dim(d.type, at);
    if (d.bounds.empty()) return client_.DimDynamicArray(d.type, at);
    return client_.DimArray(d.type, EvalBounds(d.bounds), at);
  } catch (const RuntimeError& e) {
    if (e.number() != kInvalidArgument || !at) throw;
    const std::string where = std::to_string(*at) + " (" +
                              std::to_string(CellSize(d, process_.memory().layout())) +
                              " bytes): that memory is in use or cannot hold a variable";
    if (from_option) {
      throw UsageError("--arg-at " + std::to_string(*at) + ": cannot declare the Variant " +
                       Quote(d.name.text) + " at " + where);
    }
    throw ScriptError(d.at->position, "cannot place " + Quote(d.name.text) + " At " + where);
  }
}

// Dim a(...) As Byte = FileBytes("path"): the file's bytes, in order, straight
// into the array's data. The file must hold exactly as many bytes as the
// array has elements; a dynamic array, Dim a() As Byte, takes as many.
void Interpreter::FillFromFile(const Variable& array, const Declarator& d) {
  const Expr& call = *d.value;
  if (!d.is_array || array.type != vbByte) {
    throw ScriptError(call.position,
                      "FileBytes fills a Byte array, as in Dim a() As Byte = "
                      "FileBytes(\"data.bin\") or Dim a(1 To 4) As Byte = FileBytes(\"data.bin\")");
  }
  const std::string& path = call.args[0].text;
  const Expr& where = call.args[0];
  const std::unique_ptr<RegularFile> file = OpenForFileBytes(path, where);
  // A file that tells its size is read straight into the array; one that
  // does not is read to its end first.
  std::string unsized;
  uint64_t size = file->size();
  try {
    if (size == 0) unsized = file->ReadAll(kMaxUnsizedFile);
  } catch (const FileRefused& e) {
    throw ScriptError(where.position, "cannot read " + Quote(path) + ": " + e.what());
  }
  if (size == 0) size = unsized.size();
  const uint64_t count = SizeByFile(array, size);
  if (size != count) {
    throw ScriptError(call.position, Quote(path) + " holds " + std::to_string(size) +
                                         " bytes but " + Quote(d.name.text) + " has " +
                                         std::to_string(count) + " elements");
  }
  if (count == 0) return;
  const std::span<uint8_t> data =
      SafeArrayDataBytes(process_.memory(), ReadPointer(process_.memory(), array.address));
  if (!unsized.empty()) {
    std::copy(unsized.begin(), unsized.end(), data.begin());
    return;
  }
  uint8_t more = 0;
  if (data.size() != count || file->Read(data) != count || file->Read({&more, 1}) != 0) {
    throw ScriptError(where.position, "cannot read " + Quote(path) + ": it changed while read");
  }
}

// A dynamic array takes `size` elements, 0 To size - 1; either way, the
// array's element count.
uint64_t Interpreter::SizeByFile(const Variable& array, uint64_t size) {
  AddressSpace& memory = process_.memory();
  if (array.kind == VariableKind::kDynamicArray) {
    if (size > static_cast<uint64_t>(INT32_MAX)) Raise(kOutOfMemory);
    const DeclaredBound bound{0, static_cast<int32_t>(size) - 1};
    client_.ReDim(array, std::span(&bound, 1));
  }
  return SafeArrayElementCount(memory, ReadPointer(memory, array.address));
}

void Interpreter::AssignList(const Variable& array, const Declarator& d) {
  if (!d.is_array) {
    throw ScriptError(d.list_position,
                      "only an array takes a list of values in braces; write = value");
  }
  const Address descriptor = ReadPointer(process_.memory(), array.address);
  if (descriptor == 0) {
    throw ScriptError(d.list_position, Quote(d.name.text) +
                                           " has no elements for a list of values: declare it "
                                           "with bounds, such as (1 To 3)");
  }
  const uint64_t count = SafeArrayElementCount(process_.memory(), descriptor);
  if (d.list.size() > count) {
    throw ScriptError(d.list[count].position, "too many values: " + Quote(d.name.text) + " has " +
                                                  std::to_string(count) + " elements");
  }
  const Address data = SafeArrayData(process_.memory(), descriptor);
  const uint32_t size = SafeArrayElementSize(process_.memory(), descriptor);
  const VariableKind kind =
      array.type == vbVariant ? VariableKind::kVariant : VariableKind::kScalar;
  for (size_t i = 0; i < d.list.size(); ++i) {
    const Variable element{kind, array.type, static_cast<Address>(data + i * size)};
    Value value = Eval(d.list[i]);
    if (kind == VariableKind::kVariant) {
      OnFailure free_value([&] { Free(value); });
      CheckNesting(value, d.list[i]);
    }
    AssignTo(element, value, nullptr);
  }
}

// variable = value. A temporary string or array moves into the variable; a
// RawVariant goes into a Variant byte for byte when `raw` tracks it.
void Interpreter::AssignTo(const Variable& variable, Value value, bool* raw) {
  AddressSpace& memory = process_.memory();
  const uint16_t vt = value.image.vt();
  if (variable.kind == VariableKind::kVariant) {
    const bool keep = value.owned || (value.raw && raw != nullptr);
    const VariantImage next =
        keep ? value.image : VariantCopy(process_, Dereference(memory, value.image));
    if (raw == nullptr || !*raw) {
      VariantImage old = LoadVariant(memory, variable.address);
      VariantClear(process_, old);
    }
    StoreVariant(memory, variable.address, next);
    if (raw != nullptr) *raw = value.raw;
    return;
  }
  if (value.owned &&
      ((variable.kind == VariableKind::kScalar && variable.type == vbString && vt == vbString) ||
       (variable.kind == VariableKind::kDynamicArray && vt == (vbArray | variable.type)))) {
    VariantImage old = VariantImage::WithPointer(vt, ReadPointer(memory, variable.address));
    WritePointer(memory, variable.address, value.image.pointer());
    VariantClear(process_, old);
    return;
  }
  {
    OnFailure free_value([&] { Free(value); });
    client_.Assign(variable, value.image);
  }
  Free(value);
}

void Interpreter::Assign(const AssignStatement& assign) {
  if (assign.element) {
    const Variable element = Element(assign.name, assign.indexes);
    Value value = Eval(assign.value);
    if (element.kind == VariableKind::kVariant) {
      OnFailure free_value([&] { Free(value); });
      CheckNesting(value, assign.value);
    }
    AssignTo(element, value, nullptr);
    return;
  }
  Symbol& symbol = Lookup(assign.name);
  if (symbol.variable.kind == VariableKind::kFixedArray) {
    throw ScriptError(assign.name.position,
                      "cannot assign to the fixed array " + Quote(assign.name.text) +
                          ": give its elements in its Dim, as in = {1, 2, 3}");
  }
  AssignTo(symbol.variable, Eval(assign.value), &symbol.raw);
}

void Interpreter::ReDim(const ReDimStatement& redim) {
  const Symbol& symbol = Lookup(redim.name);
  const VariableKind kind = symbol.variable.kind;
  if (kind != VariableKind::kDynamicArray) {
    throw ScriptError(
        redim.name.position,
        kind == VariableKind::kFixedArray
            ? "ReDim needs a dynamic array: " + Quote(redim.name.text) +
                  " has fixed bounds (declare it as " + Quote("Dim " + redim.name.text + "()") + ")"
            : "ReDim needs a dynamic array: " + Quote(redim.name.text) + " is not an array");
  }
  const std::vector<DeclaredBound> bounds = EvalBounds(redim.bounds);
  if (!redim.preserve) return client_.ReDim(symbol.variable, bounds);
  try {
    client_.ReDimPreserve(symbol.variable, bounds);
  } catch (const RuntimeError& e) {
    if (e.number() != kSubscriptOutOfRange) throw;
    throw ScriptError(
        redim.name.position,
        "ReDim Preserve changes only the last dimension's bounds: " + Quote(redim.name.text) +
            " keeps its number of dimensions and the " + "bounds of the others");
  }
}

void Interpreter::Erase(const EraseStatement& erase) {
  for (const Name& name : erase.names) {
    const Symbol& symbol = Lookup(name);
    const VariableKind kind = symbol.variable.kind;
    if (kind != VariableKind::kFixedArray && kind != VariableKind::kDynamicArray) {
      throw ScriptError(name.position,
                        "Erase needs an array: " + Quote(name.text) + " is not an array");
    }
    client_.Erase(symbol.variable);
  }
}

}  // namespace dudUdudADOD::cli
