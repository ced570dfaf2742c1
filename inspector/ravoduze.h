// RavoDUZE: the inspector class, its flag enumerations and its three public
// calls.
//
// A client creates one over the process it runs in (the model, or on Windows
// the component's own process: see automation/client_process.h) and hands
// the main call the address of an argument variant (see automation/client.h for how a
// client builds one). The main call returns a report of how the variable lies
// in memory; HELP and About return fixed texts. Every text's lines are
// separated by CR LF.
//
// C++ reserves a class's own name for its constructors, so the main call,
// RavoDUZE on the platform, is this class's function-call operator:
//     RavoDUZE vxi(process);
//     std::u16string report = vxi(argument);
//
// An instance keeps no state between calls; it only reads the process's
// memory (its own temporary frames and blocks come and go within a call).
// The process must outlive the instance. A run-time error in any step leaves
// the call as a RuntimeError; no partial report is returned.
#ifndef DUD_INSPECTOR_RAVODUZE_H_
#define DUD_INSPECTOR_RAVODUZE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "automation/client_process.h"
#include "inspector/report_facts.h"
#include "sections/report_output.h"

namespace dudUdudADOD {

// Which sections a report holds. Bits are tested one by one; others are
// ignored.
enum varINFO : int32_t {
  varNOTHING = 0,
  varARG = 1,
  varDef = 2,
  varSA_Stru = 4,
  varSA_Bounds = 8,
  varValues = 16,
  varALLINFO = 31,
};

// How values are printed: each bit from 2 on turns on one switch.
enum vatINFO : int32_t {
  vatNOTHING = 0,
  vatStdSep = 1,
  vatIndexed = 2,
  vatCharASCII = 4,
  vatOrdinalPos = 8,
  vatAddrLen = 16,
  vatLegend = 32,
  vatALLINFO = 63,
};

class RavoDUZE {
 public:
  explicit RavoDUZE(automation::ClientProcess& process) : process_(process) {}

  // The main call. `var` is the address of the argument variant. An omitted
  // parameter (nullopt) takes its default: DebugF False, varFlags 31,
  // vatFlags 63, sep " ". DebugF is accepted and ignored.
  std::u16string operator()(automation::Address var, std::optional<bool> DebugF = std::nullopt,
                            std::optional<int32_t> varFlags = std::nullopt,
                            std::optional<int32_t> vatFlags = std::nullopt,
                            std::optional<std::u16string> sep = std::nullopt);

  // The same report handed to `sink` in pieces as it is built, for clients
  // that write huge reports out instead of holding them whole: `sink` gets
  // the text so far and must empty it; the pieces joined are exactly what
  // the call above returns. When the call fails, the pieces already handed
  // over are no report and should be dropped.
  void Report(const std::function<void(std::u16string& text)>& sink, automation::Address var,
              std::optional<bool> DebugF = std::nullopt,
              std::optional<int32_t> varFlags = std::nullopt,
              std::optional<int32_t> vatFlags = std::nullopt,
              std::optional<std::u16string> sep = std::nullopt);
  // The same into an output that may also be told ahead how long the text
  // runs (sections/report_output.h): one that keeps the whole text takes
  // its room once.
  void Report(sections::ReportOutput& output, automation::Address var,
              std::optional<bool> DebugF = std::nullopt,
              std::optional<int32_t> varFlags = std::nullopt,
              std::optional<int32_t> vatFlags = std::nullopt,
              std::optional<std::u16string> sep = std::nullopt);

  std::u16string HELP();
  std::u16string About();

  // The structured twin of the report the main call gives for the same
  // `var` and `varFlags` (see report_facts.h), handed to `sink` in the
  // report's order. A run-time error does not leave the call: the sink gets
  // it, with the step that raised it, after the facts before it.
  void Facts(FactsSink& sink, automation::Address var,
             std::optional<int32_t> varFlags = std::nullopt);
  // The same, held whole: for values of modest size.
  ReportFacts Facts(automation::Address var, std::optional<int32_t> varFlags = std::nullopt);

 private:
  void Build(std::u16string& report, sections::ReportOutput* sink, automation::Address var,
             std::optional<int32_t> varFlags, std::optional<int32_t> vatFlags,
             std::optional<std::u16string> sep);

  automation::ClientProcess& process_;
};

}  // namespace dudUdudADOD

#endif  // DUD_INSPECTOR_RAVODUZE_H_
