// The picture against what memory may hold: every document well-formed
// XML whatever the text, addresses whole at the process's width, a picture
// of bounded size however many blocks, and a walk that stops drawn as far
// as it went.
#include "cli/output/svg_picture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "automation/bstr.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::cli {
namespace {

using namespace automation;  // NOLINT: the platform model is this test's vocabulary

std::string Picture(const Process& process, Address arg) {
  std::ostringstream svg;
  WriteSvg(svg, process, MeasureReadable(process, arg));
  return svg.str();
}

// Code points XML 1.0 forbids in text, each shown by its code; the five
// special characters escaped.
TEST(WriteSvg, ForbiddenCharactersAreShownAsCodes) {
  const struct {
    std::u16string text;
    std::string shown;
  } cases[] = {
      {u"a\uFFFFb", "a<tspan class=\"code\">U+FFFF</tspan>b"},
      {u"\uFFFE", "<tspan class=\"code\">U+FFFE</tspan>"},
      {u"x\x01y", "x<tspan class=\"code\">U+0001</tspan>y"},
      {u"l\nr", "l<tspan class=\"code\">U+000A</tspan>r"},
      {u"<a href='x'>&\"", "&lt;a href=&apos;x&apos;&gt;&amp;&quot;"},
      {u"\uFFFD\U0001F600\tok", "\uFFFD\U0001F600\tok"},
  };
  for (const auto& c : cases) {
    Process process;
    Client client(process);
    const Variable s = client.Dim(vbString);
    client.Assign(s, VariantImage::String(SysAllocString(process, c.text)));
    const std::string svg = Picture(process, client.Pass(s));
    EXPECT_NE(svg.find("text &quot;" + c.shown + "&quot;"), std::string::npos) << c.shown;
    EXPECT_EQ(svg.find("\xEF\xBF\xBF"), std::string::npos);
    EXPECT_EQ(svg.find("\xEF\xBF\xBE"), std::string::npos);
    for (const char ch : svg) {
      EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 && ch != '\n' && ch != '\t');
    }
  }
}

TEST(WriteSvg, AddressesHaveThePlatformsWidth) {
  for (const Platform platform : {Platform::kWin32, Platform::kWin64}) {
    Process process(platform);
    Client client(process);
    const Variable s = client.Dim(vbString);
    client.Assign(s, VariantImage::String(SysAllocString(process, u"hi")));
    const std::string svg = Picture(process, client.Pass(s));
    // "string at DECIMAL (0xHEX), 10 bytes", the hex of the platform's width.
    const size_t at = svg.find("string at ");
    ASSERT_NE(at, std::string::npos);
    size_t digits = 0;
    const uint64_t address = std::stoull(svg.substr(at + 10), &digits);
    const size_t hex_at = at + 10 + digits + 4;
    const size_t width = platform == Platform::kWin64 ? 16 : 8;
    EXPECT_EQ(svg.substr(hex_at - 4, 4), " (0x");
    EXPECT_EQ(std::stoull(svg.substr(hex_at, width), nullptr, 16), address);
    EXPECT_EQ(svg.substr(hex_at + width, 11), "), 10 bytes");
    EXPECT_GT(address, platform == Platform::kWin64 ? 0xFFFFFFFFull : 0);
  }
}

// A hundred thousand strings and as many arrays: the picture lists the
// lowest of each and says how many more there are.
TEST(WriteSvg, ManyBlocksMakeAPictureOfBoundedSize) {
  Process process;
  Client client(process);
  constexpr uint32_t kCount = 100000;
  const DeclaredBound bound{0, kCount - 1};
  const Address outer = SafeArrayCreate(process, vbVariant, std::span(&bound, 1));
  AddressSpace& memory = process.memory();
  const Address data = SafeArrayData(memory, outer);
  const DeclaredBound one{0, 0};
  for (uint32_t i = 0; i < kCount; ++i) {
    const Address element = data + 16 * i;
    StoreVariant(memory, element,
                 i % 2 == 0 ? VariantImage::String(SysAllocString(process, u"s"))
                            : VariantImage::Array(
                                  vbByte, SafeArrayCreate(process, vbByte, std::span(&one, 1))));
  }
  const Variable v = client.Dim(vbVariant);
  StoreVariant(memory, v.address, VariantImage::Array(vbVariant, outer));
  const std::string svg = Picture(process, client.Pass(v));
  EXPECT_LT(svg.size(), size_t{8} << 20);
  EXPECT_NE(
      svg.find("and " + std::to_string(kCount / 2 - kListedStrings) + " more string bodies, " +
               std::to_string(kCount + 2 - kListedBlocks) + " more descriptors and data blocks"),
      std::string::npos);
}

TEST(WriteSvg, AWalkThatStopsIsDrawnAsFarAsItWent) {
  Process process;
  Client client(process);
  const Variable s = client.Dim(vbString);
  WritePointer(process.memory(), s.address, 12);
  const std::string svg = Picture(process, client.Pass(s));
  EXPECT_NE(svg.find("variable at "), std::string::npos);
  EXPECT_NE(svg.find("stopped: run-time error 5 reading the string at 8 (0x00000008)"),
            std::string::npos);
  EXPECT_NE(svg.find("read before it stopped"), std::string::npos);
}

}  // namespace
}  // namespace dudUdudADOD::cli
