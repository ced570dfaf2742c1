// Hints: what ravoduze tells a user on standard error about a report, so
// that a failed or surprising report explains itself. Never part of the
// report; -q silences them.
//
// Used by RunRavoduze and the interactive session, with the process the
// report was (or was to be) made in and the address of its argument.
//
// FailureHint: after the main call raised a run-time error, finds the step
// that raised it by asking again for the parts of the report one at a time:
// the descriptor snapshot (arrays) or the data size (every other value),
// which the call takes whatever the flags, then each section asked for. It
// names the failing step and, when the other sections can be printed, the
// --var-flags (or --vat-flags) value that prints them. The parts are asked
// for in the same process; the main call takes back everything it placed,
// so they see what the failed call saw. Returns "" when the error does not
// come again (it then came from no single step).
//
// Every failure hint starts, where the flags ask for more than one section,
// with the way to have the others anyway (-k, or :keep-going on); a
// variant argument section that fails is followed by the dump of the
// variant's bytes (--dump ADDR:16, or :x ADDR 16) and the picture. For
// `error` 14 (out of string space) with the values asked for, the values
// are not asked for again, which would take as long as the failed call:
// the hint offers --vat-flags 0, the shortest text, when that fits.
//
// CharAsciiNote: the component applies vatCharASCII to the elements of
// arrays of Long, Double, Date, Boolean and Object as well as Byte (every
// type that shares a bit with Byte's 17), which prints their numbers as
// control characters. After such a report, one line says so and which
// --vat-flags value prints the numbers; "" otherwise.
//
// Lines end in "\n" and start with "ravoduze: hint: " or "ravoduze: note: ".
// `option_prefix` is how the user names the flag options: "--" on the
// command line (--var-flags), ":" in a session (:var-flags).
#ifndef DUD_CLI_PROGRAM_HINTS_H_
#define DUD_CLI_PROGRAM_HINTS_H_

#include <span>
#include <string>
#include <string_view>

#include "cli/program/keep_going.h"
#include "cli/program/options.h"
#include "model/process.h"

namespace dudUdudADOD::cli {

std::string FailureHint(automation::Process& process, automation::Address argument,
                        const Options& options, std::string_view option_prefix = "--",
                        int error = 0);

// KeepGoingHint: after a report made section by section (keep_going.h), the
// ways to see what the failed sections could not show: the argument
// variant's own bytes where its section failed (the dump and the picture),
// and the short form of values too long for a report (error 14). "" when
// nothing failed.
std::string KeepGoingHint(automation::Process& process, automation::Address argument,
                          const Options& options, std::span<const SectionFailure> failures,
                          std::string_view option_prefix = "--");

std::string CharAsciiNote(const automation::Process& process, automation::Address argument,
                          const Options& options, std::string_view option_prefix = "--");

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_HINTS_H_
