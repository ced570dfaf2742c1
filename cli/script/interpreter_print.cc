// The interpreter's Debug.Print: values as the platform's Immediate window
// shows them (interpreter.h), handed to the printer a statement at a time.
#include <string>

#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "cli/script/interpreter.h"
#include "cli/script/interpreter_helpers.h"
#include "model/variant_conversions.h"

namespace dudUdudADOD::cli {

using namespace automation;  // the platform model is this file's vocabulary
using interpreter_helpers::OnFailure;

namespace {

// Print zones start every 14 columns: "," goes on to the next one.
constexpr size_t kPrintZone = 14;

bool IsNumber(uint16_t vt) {
  if (IsIntegerType(vt)) return true;
  return vt == vbSingle || vt == vbDouble || vt == vbCurrency || vt == vbDecimal;
}

// Characters (not UTF-16 units, not bytes) in `text`.
size_t Columns(std::u16string_view text) {
  size_t columns = 0;
  for (const char16_t c : text) columns += (c & 0xFC00) == 0xDC00 ? 0 : 1;
  return columns;
}

}  // namespace

// Each value goes out as soon as it is made, so that a long line of long
// strings never stands whole in the host's memory.
void Interpreter::Print(const PrintStatement& print) {
  const auto write = [this](std::u16string_view text) {
    if (printer_) printer_(ToUtf8(text));
  };
  for (const PrintItem& item : print.items) {
    if (item.value) {
      const std::u16string text = PrintText(*item.value);
      print_column_ += Columns(text);
      write(text);
    }
    if (item.separator == ',') {
      const size_t next = (print_column_ / kPrintZone + 1) * kPrintZone;
      write(std::u16string(next - print_column_, u' '));
      print_column_ = next;
    }
  }
  if (print.items.empty() || print.items.back().separator == 0) {
    print_column_ = 0;
    write(u"\n");
  }
}

// A number with room for its sign before it and a space after, as the
// window shows it; an array has no text (13); Null reads "Null".
std::u16string Interpreter::PrintText(const Expr& e) {
  Value v = Eval(e);
  OnFailure free_value([&] { Free(v); });
  const VariantImage value = Dereference(process_.memory(), v.image);
  last_position_ = e.position;
  std::u16string text;
  if ((value.vt() & vbArray) != 0) Raise(kTypeMismatch);
  if (value.vt() == vbNull) {
    text = u"Null";
  } else if (value.vt() != vbEmpty) {
    text = VariantToText(process_, value);
  }
  if (IsNumber(value.vt())) text = (text.starts_with(u'-') ? u"" : u" ") + text + u" ";
  Free(v);
  return text;
}

void Interpreter::EndPrintLine() {
  if (print_column_ == 0) return;
  print_column_ = 0;
  if (printer_) printer_("\n");
}

}  // namespace dudUdudADOD::cli
