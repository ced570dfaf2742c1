#include "cli/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dudUdudADOD::cli {
namespace {

// Tokens as "kind:text" with their positions, e.g. "N5%@1:9".
std::string Lex(std::string_view source) {
  static constexpr char kKinds[] = "$;;WNSD(){},=-+";
  Lexer lexer(source);
  std::string out;
  for (Token t = lexer.Next();; t = lexer.Next()) {
    if (!out.empty()) out += ' ';
    out += kKinds[static_cast<int>(t.kind)];
    if (t.kind == TokenKind::kNewline) out[out.size() - 1] = '|';
    if (t.kind == TokenKind::kWord || t.kind == TokenKind::kNumber ||
        t.kind == TokenKind::kString || t.kind == TokenKind::kDate) {
      out += t.text;
      if (t.suffix != 0) out += t.suffix;
    }
    out += "@" + std::to_string(t.position.line) + ":" + std::to_string(t.position.column);
    if (t.kind == TokenKind::kEnd) return out;
  }
}

struct LexCase {
  const char* source;
  const char* tokens;
};

class LexerGood : public testing::TestWithParam<LexCase> {};

TEST_P(LexerGood, Tokens) { EXPECT_EQ(Lex(GetParam().source), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(
    Scripts, LexerGood,
    testing::Values(
        LexCase{"Dim x As Long = 5", "WDim@1:1 Wx@1:5 WAs@1:7 WLong@1:10 =@1:15 N5@1:17 $@1:18"},
        LexCase{"x=-5", "Wx@1:1 =@1:2 -@1:3 N5@1:4 $@1:5"},
        LexCase{"1.5 .5 1E3 2e-4 7.", "N1.5@1:1 N.5@1:5 N1E3@1:8 N2e-4@1:12 N7.@1:17 $@1:19"},
        LexCase{"5% 5& 5! 5# 5@", "N5%@1:1 N5&@1:4 N5!@1:7 N5#@1:10 N5@@1:13 $@1:15"},
        LexCase{"&HFF &hffff& &O17%", "N&HFF@1:1 N&hffff&@1:6 N&O17%@1:14 $@1:19"},
        LexCase{"\"a\"\"b\" \"\"", "Sa\"b@1:1 S@1:8 $@1:10"},
        LexCase{"\"a;b\";x", "Sa;b@1:1 ;@1:6 Wx@1:7 $@1:8"},
        LexCase{"#1/2/2000 3:04:05 AM#", "D1/2/2000 3:04:05 AM@1:1 $@1:22"},
        LexCase{"a ' comment ; \"x\"\nb", "Wa@1:1 |@1:18 Wb@2:1 $@2:2"},
        LexCase{"a _\n  b", "Wa@1:1 Wb@2:3 $@2:4"}, LexCase{"a _ \r\nb", "Wa@1:1 Wb@2:1 $@2:2"},
        LexCase{"a\r\nb", "Wa@1:1 |@1:3 Wb@2:1 $@2:2"}, LexCase{"\xEF\xBB\xBFx", "Wx@1:1 $@1:2"},
        LexCase{"s = \"\xC3\xA9\xC3\xA9\" ; x",
                "Ws@1:1 =@1:3 S\xC3\xA9\xC3\xA9@1:5 ;@1:10 Wx@1:12 $@1:13"},
        LexCase{"a: b", "Wa@1:1 ;@1:2 Wb@1:4 $@1:5"},
        LexCase{"a(1 To 3), {}",
                "Wa@1:1 (@1:2 N1@1:3 WTo@1:5 N3@1:8 )@1:9 ,@1:10 {@1:12 }@1:13 "
                "$@1:14"},
        LexCase{"", "$@1:1"}));

struct BadCase {
  const char* source;
  int line;
  int column;
  const char* message;
};

class LexerBad : public testing::TestWithParam<BadCase> {};

TEST_P(LexerBad, FailsAtPosition) {
  const BadCase& c = GetParam();
  Lexer lexer(c.source);
  try {
    while (lexer.Next().kind != TokenKind::kEnd) {
    }
    FAIL() << "no error for " << c.source;
  } catch (const ScriptError& e) {
    EXPECT_EQ(e.position().line, c.line);
    EXPECT_EQ(e.position().column, c.column);
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, LexerBad,
    testing::Values(
        BadCase{"x = \"abc", 1, 5,
                "unterminated string: a string literal ends with \" on the line where it starts"},
        BadCase{"x = \"a\nb\"", 1, 5,
                "unterminated string: a string literal ends with \" on the line where it starts"},
        BadCase{"\n  #1/2/2000", 2, 3,
                "unterminated date: a date literal ends with # on the line where it starts, as "
                "in #1/2/2000#"},
        BadCase{"x = 5 * 2", 1, 7, "unexpected character \"*\""},
        BadCase{"x\t= \x01", 1, 5, "unexpected character U+0001"},
        BadCase{"\xC3\xA9 = 1", 1, 1, "unexpected character \"\xC3\xA9\""},
        BadCase{"x = \xFF\xFE", 1, 5, "unexpected character byte 0xFF"},
        BadCase{"x = \xC3(", 1, 5, "unexpected character byte 0xC3"},
        BadCase{"x = \xE2\x82", 1, 5, "unexpected character byte 0xE2"},
        BadCase{"x = 12abc", 1, 7, "unexpected \"a\" after the number \"12\""},
        BadCase{"x = 1.2.3", 1, 8, "unexpected \".\" after the number \"1.2\""},
        BadCase{"x = 5%%", 1, 7, "unexpected character \"%\""},
        BadCase{"x = 1E+", 1, 8, "expected the digits of the exponent after \"E\""},
        BadCase{"x = &HZ", 1, 7, "expected hexadecimal digits after \"&H\""},
        BadCase{"x = &O8", 1, 7, "expected octal digits after \"&O\""},
        BadCase{"x = a & b", 1, 7,
                "unexpected \"&\" (hexadecimal numbers are written &HFF, octal ones &O17)"},
        BadCase{"x = a _b", 1, 7,
                "unexpected \"_\" (a statement continues on the next line with \" _\" at the end "
                "of the line)"},
        BadCase{"x = _ y", 1, 5,
                "unexpected \"_\" (a statement continues on the next line with \" _\" at the end "
                "of the line)"}));

TEST(LexerDescribe, NamesTokensForMessages) {
  EXPECT_EQ(Describe(Token{TokenKind::kEnd, {}, "", 0}), "end of script");
  EXPECT_EQ(Describe(Token{TokenKind::kNewline, {}, "", 0}), "end of line");
  EXPECT_EQ(Describe(Token{TokenKind::kNumber, {}, "5", '&'}), "\"5&\"");
  EXPECT_EQ(Describe(Token{TokenKind::kDate, {}, "1/2/2000", 0}), "\"#1/2/2000#\"");
  EXPECT_EQ(Describe(Token{TokenKind::kString, {}, std::string(40, 'a'), 0}),
            "the string \"" + std::string(32, 'a') + "...\"");
}

TEST(LexerEnd, KeepsReturningEnd) {
  Lexer lexer("x");
  EXPECT_EQ(lexer.Next().kind, TokenKind::kWord);
  EXPECT_EQ(lexer.Next().kind, TokenKind::kEnd);
  EXPECT_EQ(lexer.Next().kind, TokenKind::kEnd);
}

}  // namespace
}  // namespace dudUdudADOD::cli
