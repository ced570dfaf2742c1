// Fuzz target: PutText against a plain model of the text grid.
//
// The model keeps the buffer as a list of lines (the text split at every
// CR LF) and applies the writer's rules one by one, the slow and obvious way:
// clamp line and column to at least 1, append missing lines of `needed`
// spaces, pad the target line to `needed`, splice the text in, and split the
// result again (a text holding CR LF makes new lines). After every write the
// buffer, the line and the column must equal the model's.
//
// Input: one byte for the length of the starting buffer (its top bit: pass a
// line hint to every write) and its characters, then writes of {flags, line,
// column, length, characters} until the input ends. Characters come one byte each: CR, LF, space, a
// lone surrogate, or a letter. Lines run from -3 to 12 and columns from -3 to 40; a flag keeps the
// line of the previous write, as the sections do when they advance.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "automation/runtime_error.h"
#include "fuzz/fuzz_support.h"
#include "layout/put_text.h"

namespace {

using dudUdudADOD::fuzz::ByteReader;
using dudUdudADOD::fuzz::Fail;

constexpr std::u16string_view kCrLf = u"\r\n";
constexpr int kMaxWrites = 64;

std::vector<std::u16string> Split(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (;;) {
    const size_t brk = text.find(kCrLf, start);
    if (brk == std::u16string_view::npos) break;
    lines.emplace_back(text.substr(start, brk - start));
    start = brk + 2;
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

std::u16string Join(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += kCrLf;
    text += lines[i];
  }
  return text;
}

void ModelPut(std::vector<std::u16string>& lines, std::u16string_view text, int32_t& line,
              int32_t& column, bool overwrite, bool advance) {
  if (line < 1) line = 1;
  if (column < 1) column = 1;
  const size_t before = static_cast<size_t>(column) - 1;
  const size_t needed = before + (overwrite ? text.size() : 0);
  while (lines.size() < static_cast<size_t>(line)) lines.emplace_back(needed, u' ');
  std::u16string& target = lines[static_cast<size_t>(line) - 1];
  if (target.size() < needed) target.append(needed - target.size(), u' ');
  const size_t rest = before + (overwrite ? text.size() : 0);
  std::u16string changed = target.substr(0, before);
  changed += text;
  changed += target.substr(rest);
  target = changed;
  lines = Split(Join(lines));
  if (advance) ++line;
}

std::u16string ReadText(ByteReader& in, size_t length) {
  std::u16string text;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = in.U8();
    switch (b % 8) {
      case 0:
        text += u'\r';
        break;
      case 1:
        text += u'\n';
        break;
      case 2:
        text += u' ';
        break;
      case 3:
        text += static_cast<char16_t>(0xD800);
        break;
      default:
        text += static_cast<char16_t>(u'a' + b % 26);
        break;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(std::span<const uint8_t>(data, size));
  const uint8_t start = in.U8();
  std::u16string buffer = ReadText(in, start % 64);
  // With the top bit, every write passes the same line hint, as the table
  // sections do; the result must not change.
  dudUdudADOD::layout::LineHint hint;
  dudUdudADOD::layout::LineHint* const hint_or_none = (start & 0x80) != 0 ? &hint : nullptr;
  std::vector<std::u16string> model = Split(buffer);
  int32_t line = 1;
  int32_t model_line = 1;
  for (int i = 0; i < kMaxWrites && in.Remaining() > 0; ++i) {
    const uint8_t flags = in.U8();
    const bool overwrite = (flags & 1) != 0;
    const bool advance = (flags & 2) != 0;
    const bool keep_line = (flags & 4) != 0;
    const int32_t new_line = static_cast<int32_t>(in.Below(16)) - 3;
    if (!keep_line) line = model_line = new_line;
    int32_t column = static_cast<int32_t>(in.Below(44)) - 3;
    int32_t model_column = column;
    const std::u16string text = ReadText(in, in.Below(16));

    try {
      dudUdudADOD::layout::PutText(buffer, text, line, column, overwrite, advance, hint_or_none);
    } catch (const dudUdudADOD::RuntimeError&) {
      Fail("PutText raised on a small line and column");
    }
    ModelPut(model, text, model_line, model_column, overwrite, advance);
    if (buffer != Join(model)) Fail("buffer differs from the model");
    if (line != model_line) Fail("line differs from the model");
    if (column != model_column) Fail("column differs from the model");
  }
  return 0;
}
