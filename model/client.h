// Client: the client program's side of a call, the way a BASIC-family
// runtime does it.
//
// A client declares variables (in its stack frame, or at an address it
// chooses), assigns them, and passes them to the component:
//  - a variable of a fixed type passes by reference: a temporary variant on
//    the stack with vt = type + 16384 and the variable's address as data;
//  - an array variable passes the same way, vt = element type + 8192 + 16384
//    and the address of its 4-byte descriptor cell as data;
//  - a Variant variable passes as the variant itself;
//  - a value (a literal, an expression) passes in a temporary variant.
// Variables and argument variants live as long as the process: a client
// program's frame is never popped.
#ifndef DUD_MODEL_CLIENT_H_
#define DUD_MODEL_CLIENT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "automation/variant.h"
#include "model/model_only.h"
#include "model/process.h"
#include "model/safe_array_heap.h"

namespace dudUdudADOD::automation {

enum class VariableKind { kScalar, kFixedArray, kDynamicArray, kVariant };

struct Variable {
  VariableKind kind = VariableKind::kScalar;
  uint16_t type = vbEmpty;  // declared type; element type of an array; vbVariant
  Address address = 0;      // the value, the array's descriptor cell, or the variant
};

class Client {
 public:
  explicit Client(Process& process) : process_(process) {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Declares a scalar of `type` (a Variant when type is vbVariant), zero or
  // Empty. With `at`, the variable lies at that address; raises 5 when the
  // range is already in use.
  Variable Dim(uint16_t type, std::optional<Address> at = {});
  // A fixed array with its bounds in declaration order, zero-filled.
  Variable DimArray(uint16_t element_type, std::span<const DeclaredBound> bounds,
                    std::optional<Address> at = {});
  // A dynamic array, never dimensioned (its cell holds 0).
  Variable DimDynamicArray(uint16_t element_type, std::optional<Address> at = {});

  // x = value. A scalar converts the value to its type (ChangeType rules); a
  // Variant takes a deep copy, arrays included; a dynamic array takes a copy
  // of an array of its element type. Raises 13 otherwise.
  void Assign(const Variable& variable, const VariantImage& value);
  // Sets an array's elements in memory order (first dimension fastest), each
  // converted to the element type. Raises 9 when there are more values than
  // elements.
  void AssignElements(const Variable& array, std::span<const VariantImage> values);
  // ReDim of a dynamic array (its old contents are freed); raises 13 for a
  // fixed array.
  void ReDim(const Variable& array, std::span<const DeclaredBound> bounds);
  // ReDim Preserve: new bounds that differ from the old ones in the last
  // dimension only (raises 9 otherwise), keeping the elements that both
  // hold. Since the last dimension changes slowest in memory, those are the
  // first elements of the data, moved over whole; the rest of the old ones
  // are freed. An array without storage is simply dimensioned.
  void ReDimPreserve(const Variable& array, std::span<const DeclaredBound> bounds);
  // Erase: a dynamic array loses its storage; a fixed array is zeroed.
  void Erase(const Variable& array);

  // A variant that refers to the variable (what passing it would hand over,
  // not yet stored anywhere); for a Variant, a reference to it.
  VariantImage Reference(const Variable& variable) const;

  // Builds the argument variant for `variable` and returns its address. A
  // Variant passes as itself, so `at` must then be empty.
  Address Pass(const Variable& variable, std::optional<Address> at = {});
  // Passes a value in a temporary variant, which takes ownership of it.
  Address PassValue(const VariantImage& value, std::optional<Address> at = {});
  // Takes back an argument variant placed `at` an address for a call that
  // did not happen, leaving that memory as it was before (free, or stack
  // below the stack pointer). Its value is not freed: that is the caller's.
  void Withdraw(Address at);

  Process& process() { return process_; }

 private:
  Address Place(uint32_t size, std::optional<Address> at);

  Process& process_;
};

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_CLIENT_H_
