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

std::string Hex(uint64_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
  return text;
}

// XML text: the five special characters escaped; code points XML 1.0 does
// not allow (controls other than tab, line feed and return) as U+FFFD.
std::string Xml(std::string_view utf8) {
  std::string out;
  for (const char c : utf8) {
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
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
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
      lines.push_back(".cDims " + f.U16(d) + "   .fFeatures " + f.U16(d + 2) + "   .cbElements " +
                      f.U32(d + 4));
      lines.push_back(".cLocks " + f.U32(d + 8) + "   .pvData " + f.Ptr(d + layout.pv_data_offset));
      const uint64_t dims = (block.size - (d - at) - layout.descriptor_head) / 8;
      for (uint64_t k = 0; k < dims && k < 6; ++k) {
        const Address bound = d + layout.descriptor_head + 8 * k;
        lines.push_back("bound " + std::to_string(k) + ": cElements " + f.U32(bound) +
                        ", lLbound " + f.I32(bound + 4));
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

void WriteBox(std::ostream& out, const Box& box, const std::vector<std::string>& lines) {
  const BlockFact& b = *box.block;
  out << "<g class=\"" << BlockKindName(b.kind) << "\">\n";
  out << "<rect x=\"" << kBoxLeft << "\" y=\"" << box.top << "\" width=\"" << kBoxWidth
      << "\" height=\"" << box.height << "\" rx=\"4\"/>\n";
  int y = box.top + kLine;
  out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << y << "\" class=\"head\">"
      << BlockKindName(b.kind) << " at " << b.address << " (" << Hex(b.address) << "), " << b.size
      << (b.size == 1 ? " byte" : " bytes") << "</text>\n";
  for (const std::string& line : lines) {
    y += kLine;
    out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << y << "\">" << Xml(line) << "</text>\n";
  }
  out << "</g>\n";
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

constexpr const char* kStyle =
    "<style>\n"
    "text{font-family:monospace;font-size:12px;fill:#1b1b1b}\n"
    ".head{font-weight:bold}\n"
    "rect{stroke:#444;stroke-width:1}\n"
    ".argument rect{fill:#e3f0ff}.variable rect{fill:#e6f7e6}\n"
    ".descriptor rect{fill:#fff3d6}.data rect{fill:#f4e6ff}.string rect{fill:#ffe6e6}\n"
    ".more rect{fill:#eeeeee;stroke-dasharray:4 3}\n"
    ".arrow{fill:none;stroke:#c0392b;stroke-width:1.5;marker-end:url(#head)}\n"
    ".gap{fill:#777;font-style:italic}\n"
    "</style>\n";

}  // namespace

void WriteSvg(std::ostream& out, const automation::Process& process,
              const FootprintFact& footprint) {
  const Fields fields(process.memory());
  std::vector<Box> boxes;
  std::vector<std::vector<std::string>> lines;
  std::vector<std::pair<int, std::string>> gaps;  // y, text
  int y = 44;
  for (const BlockFact& block : footprint.blocks) {
    if (!boxes.empty()) {
      const BlockFact& last = *boxes.back().block;
      // Negative when a block lies within the last (no gap then); addresses
      // stay far below 2^63, so the difference does not overflow.
      const int64_t between =
          static_cast<int64_t>(block.address) - static_cast<int64_t>(last.address + last.size);
      if (between > 0) {
        gaps.emplace_back(y + 2, "... " + std::to_string(between) + " bytes between ...");
        y += kLine;
      }
    }
    lines.push_back(BoxLines(block, fields));
    const int height = kLine * (static_cast<int>(lines.back().size()) + 1) + 8;
    boxes.push_back({&block, y, height});
    y += height + kGap;
  }
  const int more_top = y;
  if (footprint.unlisted_strings > 0) y += 2 * kLine + kGap;
  const int height = y + 10;

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << kWidth << ' ' << height << "\">\n"
      << "<defs><marker id=\"head\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"8\""
         " markerHeight=\"8\" orient=\"auto-start-reverse\"><path d=\"M0,0 L10,5 L0,10 z\""
         " fill=\"#c0392b\"/></marker></defs>\n"
      << kStyle << "<rect x=\"0\" y=\"0\" width=\"" << kWidth << "\" height=\"" << height
      << "\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << kBoxLeft << "\" y=\"24\" class=\"head\">Memory map: " << footprint.total
      << " bytes in " << footprint.blocks.size() + footprint.unlisted_strings << " blocks</text>\n";
  std::map<automation::Address, const Box*> by_address;
  for (size_t i = 0; i < boxes.size(); ++i) {
    WriteBox(out, boxes[i], lines[i]);
    by_address.emplace(boxes[i].block->address, &boxes[i]);
  }
  for (const auto& [gap_y, text] : gaps) {
    out << "<text x=\"" << kBoxLeft + 8 << "\" y=\"" << gap_y << "\" class=\"gap\">" << text
        << "</text>\n";
  }
  if (footprint.unlisted_strings > 0) {
    out << "<g class=\"more\"><rect x=\"" << kBoxLeft << "\" y=\"" << more_top << "\" width=\""
        << kBoxWidth << "\" height=\"" << 2 * kLine << "\" rx=\"4\"/><text x=\"" << kBoxLeft + 8
        << "\" y=\"" << more_top + 20 << "\">and " << footprint.unlisted_strings
        << " more string bodies</text></g>\n";
  }
  int lane = 0;
  for (const Box& box : boxes) {
    if (box.block->kind == BlockKind::kArgument) continue;
    // The parent is the block holding the pointer: found by its start, or
    // as the block that contains it (a string held by an element of data).
    auto parent = by_address.upper_bound(box.block->parent);
    if (parent == by_address.begin()) continue;
    --parent;
    const BlockFact& holder = *parent->second->block;
    if (box.block->parent >= holder.address + holder.size) continue;
    WriteArrow(out, *parent->second, box, lane++);
  }
  out << "</svg>\n";
}

}  // namespace dudUdudADOD::cli
