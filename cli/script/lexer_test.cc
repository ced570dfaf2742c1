#include "cli/script/lexer.h"

#include <gtest/gtest.h>

#include <string>

#include "testutil/script_error_text.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::ErrorTextOf;

// Tokens as kind and text with their positions, e.g. "N5%@1:9"; "|" is a
// line break, "$" the end, "O" an operator the language lacks.
std::string Lex(std::string_view source) {
  static constexpr char kKinds[] = "$|;WNSD(){},=-+&.O";
  Lexer lexer(source);
  std::string out;
  for (Token t = lexer.Next();; t = lexer.Next()) {
    if (!out.empty()) out += ' ';
    out += kKinds[static_cast<int>(t.kind)];
    if ((t.kind >= TokenKind::kWord && t.kind <= TokenKind::kDate) ||
        t.kind == TokenKind::kOperator) {
      out += t.text;
      if (t.suffix != 0) out += t.suffix;
    }
    out += "@" + std::to_string(t.position.line) + ":" + std::to_string(t.position.column);
    if (t.kind == TokenKind::kEnd) return out;
  }
}

TEST(Lexer, Tokens) {
  const struct {
    const char* source;
    const char* tokens;
  } cases[] = {
      {"Dim x As Long = 5", "WDim@1:1 Wx@1:5 WAs@1:7 WLong@1:10 =@1:15 N5@1:17 $@1:18"},
      {"a(1 To 3), {}: x=-+5",
       "Wa@1:1 (@1:2 N1@1:3 WTo@1:5 N3@1:8 )@1:9 ,@1:10 {@1:12 }@1:13 ;@1:14 Wx@1:16 =@1:17 -@1:18 "
       "+@1:19 N5@1:20 $@1:21"},
      {"1.5 .5 1E3 2e-4 7.", "N1.5@1:1 N.5@1:5 N1E3@1:8 N2e-4@1:12 N7.@1:17 $@1:19"},
      {"5% 5& 5! 5# 5@", "N5%@1:1 N5&@1:4 N5!@1:7 N5#@1:10 N5@@1:13 $@1:15"},
      {"&HFF &hffff& &O17%", "N&HFF@1:1 N&hffff&@1:6 N&O17%@1:14 $@1:19"},
      {"0x1F 0XffFF& 0 0.5", "N0x1F@1:1 N0XffFF&@1:6 N0@1:14 N0.5@1:16 $@1:19"},
      {"\"a\"\"b\" \"\" \"c;d\";x", "Sa\"b@1:1 S@1:8 Sc;d@1:11 ;@1:16 Wx@1:17 $@1:18"},
      {"#1/2/2000 3:04:05 AM#", "D1/2/2000 3:04:05 AM@1:1 $@1:22"},
      {"a ' comment ; \"x\"\nb", "Wa@1:1 |@1:18 Wb@2:1 $@2:2"},
      // Continuations, CR LF, a byte order mark, columns counted in characters.
      {"a _\n  b _ \r\nc\r\nd", "Wa@1:1 Wb@2:3 Wc@3:1 |@3:3 Wd@4:1 $@4:2"},
      {"\xEF\xBB\xBFs = \"\xC3\xA9\xC3\xA9\" ; x",
       "Ws@1:1 =@1:3 S\xC3\xA9\xC3\xA9@1:5 ;@1:10 Wx@1:12 $@1:13"},
      {"", "$@1:1"},
      // "&" joins unless H or O follows; "." outside a number; operators the
      // language lacks, the two-character ones as one.
      {"a & b&\"c\" &H1F &o7", "Wa@1:1 &@1:3 Wb@1:5 &@1:6 Sc@1:7 N&H1F@1:11 N&o7@1:16 $@1:19"},
      {"Debug.Print .5", "WDebug@1:1 .@1:6 WPrint@1:7 N.5@1:13 $@1:15"},
      {"* / \\ ^ < > <> <= >= 2^",
       "O*@1:1 O/@1:3 O\\@1:5 O^@1:7 O<@1:9 O>@1:11 O<>@1:13 "
       "O<=@1:16 O>=@1:19 N2^@1:22 $@1:24"},
  };
  for (const auto& c : cases) EXPECT_EQ(Lex(c.source), c.tokens) << c.source;
}

TEST(Lexer, ErrorsSayWhereAndWhat) {
  const std::string unterminated =
      "unterminated string: a string literal ends with \" on the line where it starts";
  const std::string underscore =
      "unexpected \"_\" (a statement continues on the next line with \" _\" at the end of the "
      "line)";
  const struct {
    std::string source;
    std::string error;
  } cases[] = {
      {"x = \"abc", "1:5: " + unterminated},
      {"x = \"a\nb\"", "1:5: " + unterminated},
      {"\n  #1/2/2000",
       "2:3: unterminated date: a date literal ends with # on the line where it starts, as in "
       "#1/2/2000#"},
      // Characters: printable, control, not UTF-8, cut short inside or at the end.
      {"x = 5 % 2", "1:7: unexpected character \"%\""},
      {"Dim s$",
       "1:5: \"s$\": type characters after a name are not supported: declare the type "
       "with As, as in Dim n As Long"},
      {"x = n% ",
       "1:5: \"n%\": type characters after a name are not supported: declare the type "
       "with As, as in Dim n As Long"},
      {"x\t= \x01", "1:5: unexpected character U+0001"},
      {"\xC3\xA9 = 1", "1:1: unexpected character \"\xC3\xA9\""},
      {"x = \xFF\xFE", "1:5: unexpected character byte 0xFF"},
      {"x = \xC3(", "1:5: unexpected character byte 0xC3"},
      {"x = \xE2\x82", "1:5: unexpected character byte 0xE2"},
      {"x = 12abc", "1:7: unexpected \"a\" after the number \"12\""},
      {"x = 1.2.3", "1:8: unexpected \".\" after the number \"1.2\""},
      {"x = 5%%", "1:7: unexpected character \"%\""},
      {"x = 1E+", "1:8: expected the digits of the exponent after \"E\""},
      {"x = &HZ", "1:7: expected hexadecimal digits after \"&H\""},
      {"x = &O8", "1:7: expected octal digits after \"&O\""},
      {"x = a _b", "1:7: " + underscore},
      {"x = _ y", "1:5: " + underscore},
      {"x = (1)_\ny", "1:8: " + underscore},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorTextOf([&] {
                Lexer lexer(c.source);
                while (lexer.Next().kind != TokenKind::kEnd) {
                }
              }),
              c.error);
  }
}

TEST(Lexer, DescribesTokensAndKeepsReturningTheEnd) {
  EXPECT_EQ(Describe(Token{TokenKind::kEnd, {}, "", 0}), "end of script");
  EXPECT_EQ(Describe(Token{TokenKind::kNewline, {}, "", 0}), "end of line");
  EXPECT_EQ(Describe(Token{TokenKind::kNumber, {}, "5", '&'}), "\"5&\"");
  EXPECT_EQ(Describe(Token{TokenKind::kDate, {}, "1/2/2000", 0}), "\"#1/2/2000#\"");
  EXPECT_EQ(Describe(Token{TokenKind::kString, {}, std::string(40, 'a'), 0}),
            "the string \"" + std::string(32, 'a') + "...\"");
  Lexer lexer("x");
  lexer.Next();
  EXPECT_EQ(lexer.Next().kind, TokenKind::kEnd);
  EXPECT_EQ(lexer.Next().kind, TokenKind::kEnd);
}

}  // namespace
}  // namespace dudUdudADOD::cli
