#include "cli/output/utf8_blocks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "automation/utf8.h"

namespace dudUdudADOD::cli {
namespace {

// A long text handed over in pieces that split surrogate pairs and CR LF
// pairs, gathered with every block held in memory and with every block sent
// to the temporary file: the bytes written are the same.
TEST(Utf8Blocks, SpillingToAFileChangesNoByte) {
  std::u16string text;
  std::string crlf, lf_only;
  for (int i = 0; i < 100000; ++i) {
    text += u"line \U0001F600 é\r\n";
    crlf += "line \xF0\x9F\x98\x80 \xC3\xA9\r\n";
    lf_only += "line \xF0\x9F\x98\x80 \xC3\xA9\n";
  }
  for (const bool lf : {false, true}) {
    const std::string& expected = lf ? lf_only : crlf;
    for (const size_t held : {Utf8Blocks::kHeldInMemory, size_t{0}}) {
      Utf8Blocks blocks(lf, held);
      for (size_t at = 0; at < text.size(); at += 4099) {  // odd: splits pairs
        std::u16string piece = text.substr(at, 4099);
        blocks.Take(piece);
        EXPECT_TRUE(piece.empty());
      }
      std::ostringstream out;
      blocks.WriteTo(out);
      EXPECT_EQ(out.str(), expected) << "lf " << lf << ", held " << held;
      EXPECT_EQ(blocks.spilled() > 0, held == 0);
    }
  }
}

// Given the descriptor its stream writes to, the blocks send what waits in
// the temporary file there directly, ahead of what they still hold.
TEST(Utf8Blocks, TheTemporaryFileGoesStraightToADescriptor) {
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 300000; ++i) {
    text += u"né " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
    expected += "n\xC3\xA9 " + std::string(1, static_cast<char>('0' + i % 10));
  }
  Utf8Blocks blocks(false, size_t{1} << 20);
  for (size_t at = 0; at < text.size(); at += 65536) {
    std::u16string piece = text.substr(at, 65536);
    blocks.Take(piece);
  }
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::ostringstream held;  // what stayed in memory, after the file's part
  blocks.WriteTo(held, fileno(file));
  EXPECT_GT(blocks.spilled(), 0u);
  std::string sent(blocks.spilled(), '\0');
  std::rewind(file);
  EXPECT_EQ(std::fread(sent.data(), 1, sent.size(), file), sent.size());
  EXPECT_EQ(std::fgetc(file), EOF);
  std::fclose(file);
  EXPECT_EQ(sent + held.str(), expected);
}

// Past a million characters the conversion runs on a thread of its own;
// the pieces still come out whole and in order.
TEST(Utf8Blocks, ALongReportConvertsBesideTheCaller) {
  Utf8Blocks blocks(false);
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    std::u16string piece(65536, static_cast<char16_t>(u'a' + i % 26));
    expected.append(piece.size(), static_cast<char>('a' + i % 26));
    blocks.Take(piece);
    EXPECT_TRUE(piece.empty());
  }
  std::ostringstream out;
  blocks.WriteTo(out);
  EXPECT_EQ(out.str(), expected);
}

TEST(Utf8Blocks, ClearDropsWhatWasGathered) {
  Utf8Blocks blocks(false, 0);
  std::u16string text(3 << 20, u'x');
  blocks.Take(text);
  blocks.Clear();
  std::u16string tail = u"done\r\n";
  blocks.Take(tail);
  std::ostringstream out;
  blocks.WriteTo(out);
  EXPECT_EQ(out.str(), "done\r\n");
  EXPECT_TRUE(blocks.EndsLine());
}

// The contents of `file` from its start, and its offset.
std::string Contents(std::FILE* file) {
  std::fflush(file);
  const long offset = std::ftell(file);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fseek(file, offset, SEEK_SET);
  return text;
}

// Spilling straight into a regular destination: a completed report stays
// there with the rest after it; one that fails or is dropped is cut back to
// where the destination stood, its offset too.
TEST(Utf8Blocks, SpilledStraightIntoAFileStaysOnlyWhenComplete) {
  // Under a million characters, converted on the caller's thread; with
  // nothing held, every block but the last spills.
  std::u16string text(900000, u'x');
  const std::string expected(900000, 'x');
  for (const int ending : {0, 1, 2}) {  // written, cleared, dropped
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("prefix", file);
    std::fflush(file);
    {
      Utf8Blocks blocks(false, 0);
      blocks.SpillInto(fileno(file), 6);
      std::u16string piece = text;
      blocks.Take(piece);
      EXPECT_GT(blocks.spilled(), 0u);
      if (ending == 0) {
        std::ostringstream rest;
        blocks.WriteTo(rest);
        EXPECT_EQ(Contents(file).substr(6) + rest.str(), expected);
      } else if (ending == 1) {
        blocks.Clear();
      }
    }
    if (ending != 0) {
      EXPECT_EQ(Contents(file), "prefix") << "ending " << ending;
      EXPECT_EQ(lseek(fileno(file), 0, SEEK_CUR), 6);
    }
    std::fclose(file);
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
