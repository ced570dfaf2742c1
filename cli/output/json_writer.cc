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
    if (has_member_.back() != 0) Put(",");
    has_member_.back() = 1;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  Put("{");
  has_member_.push_back(0);
}

void JsonWriter::EndObject() {
  has_member_.pop_back();
  Put("}");
}

void JsonWriter::BeginArray() {
  BeforeValue();
  Put("[");
  has_member_.push_back(0);
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
// Runs that need nothing go in whole.
void JsonWriter::AppendEscaped(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto plain = [](char c) {
    return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20;
  };
  size_t at = 0;
  while (at < utf8.size()) {
    const size_t start = at;
    while (at < utf8.size() && plain(utf8[at])) ++at;
    buffer_.append(utf8.data() + start, at - start);
    if (at == utf8.size()) break;
    const char c = utf8[at++];
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      buffer_ += '\\';
      buffer_ += c;
    } else {
      const char escaped[] = {'\\', 'u', '0', '0', kHex[u >> 4], kHex[u & 15]};
      buffer_.append(escaped, sizeof escaped);
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
  // The address's bits at the process's width, so that it is never negative.
  const uint64_t mask =
      address_digits_ >= 16 ? ~uint64_t{0} : (uint64_t{1} << (4 * address_digits_)) - 1;
  const uint64_t bits = static_cast<uint64_t>(address) & mask;
  Key(name);
  Number(bits);
  static constexpr char kHex[] = "0123456789ABCDEF";
  char hex[2 + 16];
  hex[0] = '0';
  hex[1] = 'x';
  for (int k = 0; k < address_digits_; ++k) {
    hex[2 + k] = kHex[(bits >> (4 * (address_digits_ - 1 - k))) & 15];
  }
  // The member's name is the address's with "_hex" after it.
  BeforeValue();
  buffer_ += '"';
  AppendEscaped(name);
  buffer_ += "_hex\":";
  after_key_ = true;
  String(std::string_view(hex, static_cast<size_t>(2 + address_digits_)));
}

void JsonWriter::Flush() {
  if (buffer_.empty()) return;
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

}  // namespace dudUdudADOD::cli
