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
//  - a fixed-length String passes as a temporary String (a BSTR holding its
//    characters, in a cell of the frame), by reference: vt = 8 + 16384 and
//    the cell's address as data;
//  - a value (a literal, an expression) passes in a temporary variant.
// Variables and argument variants live as long as the process: a client
// program's frame is never popped.
#ifndef DUD_MODEL_CLIENT_H_
#define DUD_MODEL_CLIENT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "automation/variant.h"
#include "model/model_only.h"
#include "model/process.h"
#include "model/safe_array_heap.h"

namespace dudUdudADOD::automation {

// kFixedString: a String * N, whose N characters lie in the variable itself,
// two bytes each, without a length prefix or a closing zero.
enum class VariableKind { kScalar, kFixedArray, kDynamicArray, kVariant, kFixedString };

struct Variable {
  VariableKind kind = VariableKind::kScalar;
  uint16_t type = vbEmpty;  // declared type; element type of an array; vbVariant
  Address address = 0;      // the value, the array's descriptor cell, or the variant
  uint32_t length = 0;      // a fixed-length String's characters (type vbString)
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
  // A fixed-length String of `length` characters (1 to 65535), every one the
  // zero character until it is assigned, as the runtime starts one.
  Variable DimFixedString(uint32_t length, std::optional<Address> at = {});
  // A dynamic array, never dimensioned (its cell holds 0).
  Variable DimDynamicArray(uint16_t element_type, std::optional<Address> at = {});

  // x = value. A fixed-length String takes the value's text, cut to its
  // length or filled up with spaces. A scalar converts the value to its type (ChangeType rules); a
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
  // not yet stored anywhere); for a Variant, a reference to it. A
  // fixed-length String has none (raises 13): it passes through a temporary.
  VariantImage Reference(const Variable& variable) const;

  // The characters of a fixed-length String.
  std::u16string FixedStringText(const Variable& variable) const;
  // The temporary that passes a fixed-length String: a new String holding
  // its characters, in a cell pushed on the stack. Returns a reference to
  // the cell (vt = 8 + 16384); the caller frees the String after the call.
  VariantImage FixedStringTemporary(const Variable& variable);

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
  std::u16string ToFixedText(const VariantImage& value);

  Process& process_;
};

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_CLIENT_H_
