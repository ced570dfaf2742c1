// RuntimeError: the one exception that carries a run-time error of the
// platform model to the client.
//
// Every failure the component or the modelled runtime can meet is raised as a
// RuntimeError holding the platform's error number and its standard
// description. Nothing inside the component catches it: it leaves the public
// call, and only the public boundary (the client) and the command-line client
// catch it.
//
// Numbers in use:
//   5   Invalid procedure call or argument (also: memory that cannot be read
//       as what it must hold, such as an unmapped address; see AddressSpace)
//   6   Overflow
//   7   Out of memory
//   9   Subscript out of range
//   13  Type mismatch
//   14  Out of string space (a report longer than a string can be)
//   28  Out of stack space
//   91  Object variable or With block variable not set
//   94  Invalid use of Null
//   438 Object doesn't support this property or method
#ifndef DUD_AUTOMATION_RUNTIME_ERROR_H_
#define DUD_AUTOMATION_RUNTIME_ERROR_H_

#include <stdexcept>
#include <string>

namespace dudUdudADOD {

class RuntimeError : public std::runtime_error {
 public:
  // The description is the platform's standard text for `number`.
  explicit RuntimeError(int number);

  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

namespace automation {

// Well-known error numbers, named for readability at the raise sites.
enum ErrorNumber : int {
  kInvalidArgument = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kOutOfStringSpace = 14,
  kOutOfStackSpace = 28,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kNoSuchMember = 438,
};

// The platform's standard description of `number`; "Application-defined or
// object-defined error" for numbers the model does not know.
std::string StandardDescription(int number);

[[noreturn]] void Raise(int number);

}  // namespace automation
}  // namespace dudUdudADOD

#endif  // DUD_AUTOMATION_RUNTIME_ERROR_H_
