#include "layout/put_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testutil/golden.h"

namespace dudUdudADOD::layout {
namespace {

constexpr bool kOverwrite = true;
constexpr bool kInsert = false;

TEST(PutText, SingleWrites) {
  const std::u16string type_array = u"Type" + std::u16string(11, u' ') + u"Array";
  struct Case {
    const char* name;
    std::u16string buffer, text;
    int32_t line, column;
    bool overwrite;
    std::u16string expected;
  } const cases[] = {
      {"empty buffer", u"", u"Type", 1, 1, kOverwrite, u"Type"},
      {"pad to column", u"Type", u"Array", 1, 16, kOverwrite, type_array},
      {"overwrite keeps length", type_array, u"XY", 1, 3, kOverwrite,
       u"TyXY" + type_array.substr(4)},
      {"overwrite", u"abcdef", u"XY", 1, 3, kOverwrite, u"abXYef"},
      {"insert", u"abcdef", u"XY", 1, 3, kInsert, u"abXYcdef"},
      {"overwrite past end", u"abcdef\r\nnext\r\n", u"WXYZ", 1, 5, kOverwrite,
       u"abcdWXYZ\r\nnext\r\n"},
      {"insert before last", u"abc", u"X", 1, 3, kInsert, u"abXc"},
      {"insert past end", u"ab", u"X", 1, 5, kInsert, u"ab  X"},
      {"missing lines, insert", u"", u"x", 3, 5, kInsert, u"\r\n    \r\n    x"},
      {"missing lines, overwrite", u"", u"x", 3, 5, kOverwrite, u"\r\n     \r\n    x"},
      {"existing empty line kept", u"a\r\nb\r\n", u"X", 4, 2, kOverwrite, u"a\r\nb\r\n\r\n X"},
      {"empty text pads", u"ab", u"", 1, 5, kInsert, u"ab  "},
      {"empty text makes lines", u"", u"", 2, 3, kOverwrite, u"\r\n  "},
      {"final CR LF kept", u"a\r\nb\r\n", u"X", 1, 1, kOverwrite, u"X\r\nb\r\n"},
      {"last empty line filled", u"a\r\nb\r\n", u"X", 3, 1, kOverwrite, u"a\r\nb\r\nX"},
      {"text with CR LF splits", u"abcd", u"X\r\nY", 1, 3, kInsert, u"abX\r\nYcd"},
      {"lone CR and LF", u"a\rb\nc", u"Z", 2, 1, kOverwrite, u"a\rb\nc\r\nZ"},
      {"CR before CR LF", u"a\r\r\nb", u"Z", 1, 4, kOverwrite, u"a\r Z\r\nb"},
      {"zero numbers", u"abc", u"X", 0, 0, kOverwrite, u"Xbc"},
      {"negative numbers", u"ab\r\ncd", u"X", -3, INT32_MIN, kInsert, u"Xab\r\ncd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string buffer = c.buffer;
    int32_t line = c.line;
    int32_t column = c.column;
    EXPECT_TRUE(PutText(buffer, c.text, line, column, c.overwrite, false));
    EXPECT_SAME_TEXT(buffer, c.expected);
  }
}

TEST(PutText, WritesBackLineAndColumn) {
  struct Case {
    int32_t line, column;
    bool advance;
    int32_t line_out, column_out;
  } const cases[] = {{0, 0, false, 1, 1}, {0, 0, true, 2, 1},    {3, 7, true, 4, 7},
                     {3, 7, false, 3, 7}, {-5, -2, false, 1, 1}, {-1, 4, true, 2, 4}};
  for (const Case& c : cases) {
    std::u16string buffer = u"a\r\nb";
    int32_t line = c.line;
    int32_t column = c.column;
    PutText(buffer, u"", line, column, kOverwrite, c.advance);
    EXPECT_EQ(line, c.line_out) << c.line << "," << c.column;
    EXPECT_EQ(column, c.column_out) << c.line << "," << c.column;
  }
}

// The writer's rules spelled out over a list of lines: split at CR LF, make
// the missing lines, pad, edit the one line, join again.
void ModelPut(std::u16string& text, const std::u16string& piece, int32_t& line, int32_t& column,
              bool overwrite, bool advance) {
  line = std::max<int32_t>(line, 1);
  column = std::max<int32_t>(column, 1);
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, u"\r\n") == 0) {
      lines.emplace_back();
      ++i;
    } else {
      lines.back() += text[i];
    }
  }
  const size_t before = static_cast<size_t>(column) - 1;
  const size_t needed = before + (overwrite ? piece.size() : 0);
  while (lines.size() < static_cast<size_t>(line)) lines.emplace_back(needed, u' ');
  std::u16string& target = lines[static_cast<size_t>(line) - 1];
  if (target.size() < needed) target.resize(needed, u' ');
  target = target.substr(0, before) + piece + target.substr(needed);
  text = lines[0];
  for (size_t i = 1; i < lines.size(); ++i) text += u"\r\n" + lines[i];
  if (advance) ++line;
}

TEST(PutText, RandomWritesMatchLinesModel) {
  std::mt19937 rng(20240607);  // fixed seed: the same sequences on every run
  auto pick = [&rng](uint32_t n) { return static_cast<int32_t>(rng() % n); };
  for (int sequence = 0; sequence < 300; ++sequence) {
    std::u16string buffer, model;
    int32_t line = 1;
    // Every other sequence remembers where its lines start, as the table
    // sections do; it must write exactly what a fresh scan writes.
    LineHint hint;
    LineHint* const remembered = sequence % 2 == 0 ? &hint : nullptr;
    for (int step = 0, steps = 1 + pick(20); step < steps; ++step) {
      std::u16string piece;
      for (int k = pick(7); k > 0; --k) piece += u"ab \r\n"[pick(5)];
      if (pick(4) == 0) line = pick(9) - 1;  // jump now and then, to 0 and -1 too
      int32_t column = pick(14) - 1;
      const bool overwrite = pick(2) == 0;
      const bool advance = pick(3) == 0;
      int32_t model_line = line;
      int32_t model_column = column;
      ModelPut(model, piece, model_line, model_column, overwrite, advance);
      PutText(buffer, piece, line, column, overwrite, advance, remembered);
      ASSERT_TRUE(testutil::SameText(buffer, model)) << "sequence " << sequence << " step " << step;
      ASSERT_EQ(line, model_line);
      ASSERT_EQ(column, model_column);
    }
  }
}

}  // namespace
}  // namespace dudUdudADOD::layout
