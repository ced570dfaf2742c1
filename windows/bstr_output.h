// BstrOutput: a report written straight into the BSTR that the DLL returns.
//
// The main call's text is handed over in pieces by the walk (report_output.h)
// and copied here as it comes, from a buffer small enough to stay in the
// processor's cache, into one string the runtime allocated: the text is
// never held whole twice, and the copy into the string runs at memory speed.
// The walk tells ahead how long a long run of text is (exactly where it
// counts the text, else from its first elements), so the string takes its
// room once; without a hint it grows by half again.
//
// Contract:
//  - Take appends the piece and empties it; it raises 7 when the system has
//    no room for the string.
//  - Release hands over the text as a BSTR of exactly its length, which the
//    caller then owns; the output is empty after it. A string not released
//    is freed with the output.
#ifndef DUD_WINDOWS_BSTR_OUTPUT_H_
#define DUD_WINDOWS_BSTR_OUTPUT_H_

#include <cstdint>
#include <string>

#include "sections/report_output.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {

class BstrOutput final : public sections::ReportOutput {
 public:
  BstrOutput() = default;
  ~BstrOutput() override { SysFreeString(text_); }
  BstrOutput(const BstrOutput&) = delete;
  BstrOutput& operator=(const BstrOutput&) = delete;

  void Take(std::u16string& text) override;
  void Expect(uint64_t characters) override;
  bool KeepsWhole() const override { return true; }
  char16_t* Extend(uint64_t characters) override;

  // The text so far; nullptr when the system had no room (raises 7 first).
  BSTR Release();

  uint64_t length() const { return length_; }

 private:
  // Moves the text into a string with room for `capacity` characters.
  void Resize(uint64_t capacity);

  BSTR text_ = nullptr;
  uint64_t length_ = 0;    // characters written
  uint64_t capacity_ = 0;  // characters the string has room for
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_BSTR_OUTPUT_H_
