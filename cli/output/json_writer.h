// JsonWriter: writes one JSON document to a stream as it goes, so that a
// document of any size needs only a small buffer.
//
// Used by the command-line client's --json. The caller nests Begin/End calls
// correctly and names every member of an object with Key before its value;
// the writer puts the commas, escapes strings (UTF-16 in, UTF-8 out, an
// unpaired surrogate as U+FFFD) and keeps numbers exact: whole numbers as
// written, doubles in the shortest form that reads back the same.
#ifndef DUD_CLI_OUTPUT_JSON_WRITER_H_
#define DUD_CLI_OUTPUT_JSON_WRITER_H_

#include <algorithm>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace dudUdudADOD::cli {

class JsonWriter {
 public:
  // `address_digits`: the hex digits of an address, twice the pointer's
  // size (1 to 16).
  explicit JsonWriter(std::ostream& out, int address_digits = 8)
      : out_(out), address_digits_(std::clamp(address_digits, 1, 16)) {}
  ~JsonWriter() { Flush(); }
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view name);

  void String(std::u16string_view text);
  void String(std::string_view ascii);  // text known to be ASCII or UTF-8
  void Number(int64_t value);
  void Number(uint64_t value);
  void Number(double value);
  void Number(int32_t value) { Number(int64_t{value}); }
  void Number(uint32_t value) { Number(uint64_t{value}); }
  void Bool(bool value);
  void Null();

  // An address as two members: `name` as an unsigned number and `name`_hex
  // as "0x" and the address's hex digits (8, or 16 for a 64-bit process),
  // both of the address's bits at that width.
  void Address(std::string_view name, int64_t address);

  // Ends the document with a line break and hands it to the stream.
  void EndDocument() {
    Put("\n");
    Flush();
  }
  // Hands what is buffered to the stream.
  void Flush();

 private:
  void BeforeValue();
  void AppendEscaped(std::string_view utf8);
  void Put(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= kFlushAt) Flush();
  }

  static constexpr size_t kFlushAt = size_t{1} << 16;

  std::ostream& out_;
  int address_digits_;
  std::string buffer_;
  // One entry per open object or array: whether it has a member yet.
  std::vector<char> has_member_;
  bool after_key_ = false;
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_JSON_WRITER_H_
