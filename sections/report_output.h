// ReportOutput: where a report built in pieces goes.
//
// The values walk hands its text over as it grows, so that a huge report
// never stands whole in the walk's own buffer. Take is handed the text so
// far and must empty it (what it leaves is still to come, and is handed
// again). Expect is a hint given before a long run of text: about that many
// more characters follow what has been taken so far. An output that keeps
// the whole text (the DLL's returned string) takes its room once from it
// instead of growing as the pieces come; one that streams them ignores it.
// The hint may be short or long by a little; the pieces alone are the text.
// Such an output also hands out room at the end of its text (Extend), which
// the walk's threads then fill each with its own part, at once.
#ifndef DUD_SECTIONS_REPORT_OUTPUT_H_
#define DUD_SECTIONS_REPORT_OUTPUT_H_

#include <cstdint>
#include <functional>
#include <string>

namespace dudUdudADOD::sections {

class ReportOutput {
 public:
  virtual ~ReportOutput() = default;

  virtual void Take(std::u16string& text) = 0;
  virtual void Expect(uint64_t characters) { static_cast<void>(characters); }
  // True when the output keeps the whole text, so that the walk counts its
  // length ahead where that costs a pass over the data.
  virtual bool KeepsWhole() const { return false; }
  // For an output that keeps the whole text: makes it `characters` longer
  // and returns where they go. The caller writes every one of them, from any
  // thread, before the output is used again; until then the text is the
  // pieces so far and what was written of the room. Raises as Take does.
  virtual char16_t* Extend(uint64_t characters) {
    static_cast<void>(characters);
    return nullptr;
  }
};

// The pieces handed to a function, for clients that stream them.
class FunctionOutput final : public ReportOutput {
 public:
  explicit FunctionOutput(const std::function<void(std::u16string&)>& take) : take_(take) {}
  void Take(std::u16string& text) override { take_(text); }

 private:
  const std::function<void(std::u16string&)>& take_;
};

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_REPORT_OUTPUT_H_
