#include "automation/runtime_error.h"

namespace dudUdudADOD {

RuntimeError::RuntimeError(int number)
    : std::runtime_error(automation::StandardDescription(number)),
      number_(number),
      description_(automation::StandardDescription(number)) {}

namespace automation {

std::string StandardDescription(int number) {
  switch (number) {
    case kInvalidArgument:
      return "Invalid procedure call or argument";
    case kOverflow:
      return "Overflow";
    case kOutOfMemory:
      return "Out of memory";
    case kSubscriptOutOfRange:
      return "Subscript out of range";
    case kTypeMismatch:
      return "Type mismatch";
    case kOutOfStringSpace:
      return "Out of string space";
    case kOutOfStackSpace:
      return "Out of stack space";
    case kObjectNotSet:
      return "Object variable or With block variable not set";
    case kInvalidUseOfNull:
      return "Invalid use of Null";
    case kNoSuchMember:
      return "Object doesn't support this property or method";
    default:
      return "Application-defined or object-defined error";
  }
}

void Raise(int number) { throw RuntimeError(number); }

}  // namespace automation
}  // namespace dudUdudADOD
