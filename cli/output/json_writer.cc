#include "cli/output/json_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>

#include "automation/utf8.h"

namespace dudUdudADOD::cli {

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_member_.empty()) {
    if (has_member_.back()) Put(",");
    has_member_.back() = true;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  Put("{");
  has_member_.push_back(false);
}

void JsonWriter::EndObject() {
  has_member_.pop_back();
  Put("}");
}

void JsonWriter::BeginArray() {
  BeforeValue();
  Put("[");
  has_member_.push_back(false);
}

void JsonWriter::EndArray() {
  has_member_.pop_back();
  Put("]");
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  buffer_ += '"';
  AppendEscaped(name);
  Put("\":");
  after_key_ = true;
}

// Escapes what JSON requires: the quote, the backslash and control codes.
void JsonWriter::AppendEscaped(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      buffer_ += '\\';
      buffer_ += c;
    } else if (u < 0x20) {
      const char escaped[] = {'\\', 'u', '0', '0', kHex[u >> 4], kHex[u & 15]};
      buffer_.append(escaped, sizeof escaped);
    } else {
      buffer_ += c;
    }
  }
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  buffer_ += '"';
  AppendEscaped(text);
  Put("\"");
}

void JsonWriter::String(std::u16string_view text) {
  BeforeValue();
  buffer_ += '"';
  // Through UTF-8 in slices, so a long text takes no second whole copy.
  constexpr size_t kSlice = 4096;
  std::string utf8;
  while (!text.empty()) {
    size_t n = std::min(kSlice, text.size());
    if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    utf8.clear();
    automation::AppendUtf8(utf8, text.substr(0, n));
    AppendEscaped(utf8);
    if (buffer_.size() >= kFlushAt) Flush();
    text.remove_prefix(n);
  }
  Put("\"");
}

void JsonWriter::Number(int64_t value) {
  BeforeValue();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  Put(std::string_view(digits, static_cast<size_t>(end - digits)));
}

void JsonWriter::Number(uint64_t value) {
  BeforeValue();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  Put(std::string_view(digits, static_cast<size_t>(end - digits)));
}

void JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return Null();  // JSON has no infinities
  BeforeValue();
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  Put(std::string_view(digits, static_cast<size_t>(end - digits)));
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  Put(value ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  Put("null");
}

void JsonWriter::Address(std::string_view name, int64_t address) {
  Key(name);
  Number(address);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex = "0x";
  const auto bits = static_cast<uint64_t>(address);
  for (int k = address_digits_ - 1; k >= 0; --k) hex += kHex[(bits >> (4 * k)) & 15];
  Key(std::string(name) + "_hex");
  String(std::string_view(hex));
}

void JsonWriter::Flush() {
  if (buffer_.empty()) return;
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

}  // namespace dudUdudADOD::cli
