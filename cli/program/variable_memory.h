// VariableMemory: the memory a dump by name shows (ravoduze --dump NAME,
// :x NAME, and *NAME for what the variable's pointer leads to), found in the
// modelled process once the script has run.
//
// NAME shows the variable's own bytes, as its declaration lays them out: a
// fixed type's value, a String's or an Object's pointer, an array's cell
// (the pointer to its descriptor), a whole Variant. *NAME follows the
// pointer held there once, as a debugger follows one, to:
//   a String            its text from the 4-byte length prefix before it to
//                       the 2-byte terminator after it
//   an array            its descriptor: the head and one bound a dimension
//   an Object           the object's first 64 bytes
//   a Variant           what its type word says it points to: one of the
//                       above, or, by reference, the value it refers to (a
//                       Variant's, or an array's cell)
// A number (a Long, a Variant that holds one, Empty, Null) holds no pointer,
// and a null pointer leads nowhere: both raise UsageError saying so. A
// COUNT in the request replaces the size found; a size past kMaxDumpBytes
// is cut to it. An address in the request is shown as it is.
#ifndef DUD_CLI_PROGRAM_VARIABLE_MEMORY_H_
#define DUD_CLI_PROGRAM_VARIABLE_MEMORY_H_

#include <string_view>

#include "cli/program/memory_dump.h"
#include "cli/program/options.h"
#include "cli/script/interpreter.h"
#include "model/address_space.h"

namespace dudUdudADOD::cli {

// Raises UsageError naming `option` ("--dump", ":x") when the name is no
// variable's or its pointer leads nowhere.
Dump DumpFor(const DumpRequest& request, const Interpreter& interpreter,
             const automation::AddressSpace& memory, std::string_view option);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_VARIABLE_MEMORY_H_
