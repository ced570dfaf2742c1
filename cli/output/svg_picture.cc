#include "cli/output/svg_picture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/safe_array.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "cli/output/address_text.h"

namespace dudUdudADOD::cli {

using automation::Address;
using automation::AddressSpace;

namespace {

constexpr int kWidth = 780;
constexpr int kBoxLeft = 20;
constexpr int kBoxWidth = 560;
constexpr int kLine = 16;
constexpr int kGap = 18;
constexpr size_t kBytesShown = 32;
constexpr size_t kTextShown = 40;

// Whether XML 1.0 allows code point `c` in text. Tab stays; line ends are
// shown as codes too, since a picture's line holds no line break.
bool XmlAllows(uint32_t c) {
  return c == '\t' || (c >= 0x20 && c < 0xD800) || (c >= 0xE000 && c < 0xFFFE) || c >= 0x10000;
}

// The length of the UTF-8 sequence that `lead` starts and its code point;
// the text comes from ToUtf8, so every sequence is whole.
size_t Decode(std::string_view utf8, size_t at, uint32_t& c) {
  const auto b = [&](size_t k) {
    return static_cast<uint32_t>(static_cast<uint8_t>(utf8[at + k]));
  };
  const uint32_t lead = b(0);
  const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + n > utf8.size()) {
    c = 0xFFFD;
    return utf8.size() - at;
  }
  c = n == 1 ? lead : n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
  for (size_t k = 1; k < n; ++k) c = (c << 6) | (b(k) & 0x3F);
  return n;
}

// XML text: the five special characters escaped; code points XML 1.0 does
// not allow shown as their codes ("U+FFFF") in a span of their own.
std::string Xml(std::string_view utf8) {
  std::string out;
  for (size_t at = 0; at < utf8.size();) {
    uint32_t c = 0;
    const size_t n = Decode(utf8, at, c);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (XmlAllows(c)) {
          out.append(utf8.substr(at, n));
        } else {
          char code[16];
          std::snprintf(code, sizeof code, "U+%04X", c);
          out += std::string("<tspan class=\"code\">") + code + "</tspan>";
        }
    }
    at += n;
  }
  return out;
}

// Reads a field for a label; "?" where the memory cannot be read.
class Fields {
 public:
  explicit Fields(const AddressSpace& memory) : memory_(memory) {}

  std::string U32(Address at) const {
    if (!memory_.IsMapped(at, 4)) return "?";
    return std::to_string(automation::ReadUInt32(memory_, at));
  }
  // A pointer of the memory's width.
  std::string Ptr(Address at) const {
    if (!memory_.IsMapped(at, memory_.layout().pointer_size)) return "?";
    return std::to_string(automation::ReadPointer(memory_, at));
  }
  const automation::Layout& layout() const { return memory_.layout(); }
  std::string I32(Address at) const {
    if (!memory_.IsMapped(at, 4)) return "?";
    return std::to_string(automation::ReadInt32(memory_, at));
  }
  std::string U16(Address at) const {
    if (!memory_.IsMapped(at, 2)) return "?";
    return std::to_string(automation::ReadUInt16(memory_, at));
  }
  std::string Bytes(Address at, uint64_t size) const {
    const size_t shown = static_cast<size_t>(std::min<uint64_t>(size, kBytesShown));
    if (!memory_.IsMapped(at, shown)) return "?";
    std::vector<uint8_t> bytes(shown);
    memory_.Read(at, bytes.data(), static_cast<uint32_t>(shown));
    std::string text;
    for (const uint8_t b : bytes) text += std::to_string(b) + " ";
    if (shown < size) text += "...";
    return text;
  }
  std::string Text(Address bstr) const {
    if (!memory_.IsMapped(bstr - 4, 4)) return "?";
    const uint32_t bytes = automation::ReadUInt32(memory_, bstr - 4);
    const uint32_t shown = std::min<uint32_t>(bytes / 2, kTextShown);
    if (!memory_.IsMapped(bstr, uint64_t{shown} * 2)) return "?";
    std::u16string text(shown, u'\0');
    memory_.Read(bstr, text.data(), shown * 2);
    return "\"" + automation::ToUtf8(text) + (shown < bytes / 2 ? "...\"" : "\"");
  }

 private:
  const AddressSpace& memory_;
};

// The lines a box shows under its heading.
std::vector<std::string> BoxLines(const BlockFact& block, const Fields& f) {
  const Address at = block.address;
  const automation::Layout& layout = f.layout();
  std::vector<std::string> lines;
  switch (block.kind) {
    case BlockKind::kArgument:
      lines.push_back("vt " + f.U16(at) + "   reserved " + f.U16(at + 2) + " " + f.U16(at + 4) +
                      " " + f.U16(at + 6));
      lines.push_back("data field " + f.Ptr(at + 8) + " " + f.Ptr(at + 8 + layout.pointer_size));
      break;
    case BlockKind::kVariable:
      if (block.size == layout.variant_size) {
        lines.push_back("vt " + f.U16(at) + "   data field " + f.Ptr(at + 8));
      } else if (block.size == layout.pointer_size) {
        lines.push_back("holds " + f.Ptr(at));
      }
      break;
    case BlockKind::kDescriptor: {
      const Address d = at + block.prefix;
      // The report's names for the same fields, spelled as its table spells them.
      lines.push_back(".cDims " + f.U16(d) + "   .fFeaures " + f.U16(d + 2) + "   .cbArrElemSize " +
                      f.U32(d + 4));
      lines.push_back(".cLock " + f.U32(d + 8) + "   .pvData " + f.Ptr(d + layout.pv_data_offset));
      const uint64_t dims = (block.size - (d - at) - layout.descriptor_head) / 8;
      for (uint64_t k = 0; k < dims && k < 6; ++k) {
        const Address bound = d + layout.descriptor_head + 8 * k;
        lines.push_back("bound " + std::to_string(k) + ": cElements " + f.U32(bound) + ", lBound " +
                        f.I32(bound + 4));
      }
      if (dims > 6) lines.push_back("... " + std::to_string(dims - 6) + " more bounds");
      break;
    }
    case BlockKind::kData:
      break;
    case BlockKind::kString:
      lines.push_back("length prefix " + f.U32(at) + ", text " + f.Text(at + 4));
      break;
  }
  if (block.size <= kBytesShown || block.kind == BlockKind::kData) {
    lines.push_back("bytes " + f.Bytes(at, block.size));
  }
  return lines;
}

struct Box {
  const BlockFact* block;
  int top;
  int height;
};

void WriteBox(std::ostream& out, const Box& box, const std::vector<std::string>& lines,
              const automation::Layout& layout) {
  const BlockFact& b = *box.block;
  out << "<g class=\"" << BlockKindName(b.kind) << "\">\n";
  out << "<rect x=\"" << kBoxLeft << "\" y=\"" << box.top << "\" width=\"" << kBoxWidth
      << "\" height=\"" << box.height << "\" rx=\"4\"/>\n";
  int y = box.top + kLine;
  out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << y << "\" class=\"head\">"
      << BlockKindName(b.kind) << " at " << AddressText(b.address, layout.pointer_size) << ", "
      << b.size << (b.size == 1 ? " byte" : " bytes") << "</text>\n";
  for (const std::string& line : lines) {
    y += kLine;
    out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << y << "\">" << Xml(line) << "</text>\n";
  }
  out << "</g>\n";
}

// A dashed box of one line: the blocks counted but not drawn, or where the
// walk stopped.
void WriteNote(std::ostream& out, int top, const std::string& css, const std::string& text) {
  out << "<g class=\"" << css << "\"><rect x=\"" << kBoxLeft << "\" y=\"" << top << "\" width=\""
      << kBoxWidth << "\" height=\"" << 2 * kLine << "\" rx=\"4\"/><text x=\"" << kBoxLeft + 8
      << "\" y=\"" << top + 20 << "\">" << Xml(text) << "</text></g>\n";
}

// A curve from the right edge of `from` to the right edge of `to`, in its
// own lane so that arrows to and from neighbours stay apart.
void WriteArrow(std::ostream& out, const Box& from, const Box& to, int lane) {
  const int x = kBoxLeft + kBoxWidth;
  const int bend = x + 24 + 16 * (lane % 10);
  const int y1 = from.top + kLine / 2 + 4;
  const int y2 = to.top + kLine / 2 + 4;
  out << "<path class=\"arrow\" d=\"M" << x << ',' << y1 << " C" << bend << ',' << y1 << ' ' << bend
      << ',' << y2 << ' ' << x + 2 << ',' << y2 << "\"/>\n";
}

// An arrow to every box from the box holding its pointer: found by its
// start, or as the box that contains it (a string held by an element).
void WriteArrows(std::ostream& out, const std::vector<Box>& boxes) {
  std::map<automation::Address, const Box*> by_address;
  for (const Box& box : boxes) by_address.emplace(box.block->address, &box);
  int lane = 0;
  for (const Box& box : boxes) {
    if (box.block->kind == BlockKind::kArgument) continue;
    auto parent = by_address.upper_bound(box.block->parent);
    if (parent == by_address.begin()) continue;
    --parent;
    const BlockFact& holder = *parent->second->block;
    if (box.block->parent >= holder.address + holder.size) continue;
    WriteArrow(out, *parent->second, box, lane++);
  }
}

// Bytes between a block and the one before it; 0 when they touch or
// overlap.
uint64_t Between(const BlockFact& last, const BlockFact& block) {
  const uint64_t end = last.address + last.size;
  return block.address > end ? block.address - end : 0;
}

// "and 12 more string bodies, 3 more descriptors and data blocks", or "".
std::string MoreText(const FootprintFact& footprint) {
  std::string text;
  if (footprint.unlisted_strings > 0) {
    text = std::to_string(footprint.unlisted_strings) + " more string bodies";
  }
  if (footprint.unlisted_blocks > 0) {
    text += (text.empty() ? "" : ", ") + std::to_string(footprint.unlisted_blocks) +
            " more descriptors and data blocks";
  }
  return text.empty() ? "" : "and " + text;
}

std::string StopText(const FootprintStop& stop, const automation::Layout& layout) {
  return "stopped: run-time error " + std::to_string(stop.number) + " reading the " +
         std::string(BlockKindName(stop.kind)) + " at " +
         AddressText(stop.address, layout.pointer_size) + "; what follows it is not drawn";
}

constexpr const char* kStyle =
    "<style>\n"
    "text{font-family:monospace;font-size:12px;fill:#1b1b1b}\n"
    ".head{font-weight:bold}\n"
    "rect{stroke:#444;stroke-width:1}\n"
    ".argument rect{fill:#e3f0ff}.variable rect{fill:#e6f7e6}\n"
    ".descriptor rect{fill:#fff3d6}.data rect{fill:#f4e6ff}.string rect{fill:#ffe6e6}\n"
    ".more rect{fill:#eeeeee;stroke-dasharray:4 3}\n"
    ".stopped rect{fill:#fde2e2;stroke:#c0392b;stroke-dasharray:4 3}\n"
    ".arrow{fill:none;stroke:#c0392b;stroke-width:1.5;marker-end:url(#head)}\n"
    ".gap{fill:#777;font-style:italic}\n"
    ".code{fill:#c0392b;font-style:italic}\n"
    "</style>\n";

void WriteHead(std::ostream& out, int height, const FootprintFact& footprint) {
  const uint64_t blocks =
      footprint.blocks.size() + footprint.unlisted_strings + footprint.unlisted_blocks;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << kWidth << ' ' << height << "\">\n"
      << "<defs><marker id=\"head\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"8\""
         " markerHeight=\"8\" orient=\"auto-start-reverse\"><path d=\"M0,0 L10,5 L0,10 z\""
         " fill=\"#c0392b\"/></marker></defs>\n"
      << kStyle << "<rect x=\"0\" y=\"0\" width=\"" << kWidth << "\" height=\"" << height
      << "\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << kBoxLeft << "\" y=\"24\" class=\"head\">Memory map: " << footprint.total
      << " bytes in " << blocks << " blocks" << (footprint.stopped ? " read before it stopped" : "")
      << "</text>\n";
}

}  // namespace

// Two passes over the listed blocks: the first places the boxes, the
// second writes each box as it comes, so only the boxes' places are kept.
void WriteSvg(std::ostream& out, const automation::Process& process,
              const FootprintFact& footprint) {
  const Fields fields(process.memory());
  const automation::Layout& layout = fields.layout();
  std::vector<Box> boxes;
  int y = 44;
  for (const BlockFact& block : footprint.blocks) {
    if (!boxes.empty() && Between(*boxes.back().block, block) > 0) y += kLine;
    const int height = kLine * (static_cast<int>(BoxLines(block, fields).size()) + 1) + 8;
    boxes.push_back({&block, y, height});
    y += height + kGap;
  }
  const std::string more = MoreText(footprint);
  const int more_top = y;
  if (!more.empty()) y += 2 * kLine + kGap;
  const int stop_top = y;
  if (footprint.stopped) y += 2 * kLine + kGap;
  WriteHead(out, y + 10, footprint);
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (i > 0) {
      if (const uint64_t between = Between(*boxes[i - 1].block, *boxes[i].block); between > 0) {
        out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << boxes[i].top - kLine + 2
            << "\" class=\"gap\">... " << between << " bytes between ...</text>\n";
      }
    }
    WriteBox(out, boxes[i], BoxLines(*boxes[i].block, fields), layout);
  }
  if (!more.empty()) WriteNote(out, more_top, "more", more);
  if (footprint.stopped) WriteNote(out, stop_top, "stopped", StopText(*footprint.stopped, layout));
  WriteArrows(out, boxes);
  out << "</svg>\n";
}

}  // namespace dudUdudADOD::cli
