// RegularFile: a file opened once for reading and checked on what was
// opened, and ReplaceFile, which writes a file whole or not at all.
//
// Used by FileBytes (interpreter.cc) and the -i history (terminal_editor.cc).
// Checking a path and then opening it lets the path change in between: a
// named pipe slipped in makes the open wait for a writer, a link makes a
// write land elsewhere. So the open itself is non-blocking (a named pipe
// opens at once, with no writer) and, on request, refuses a symbolic link
// (O_NOFOLLOW); then fstat on the open descriptor must say "regular file".
// Reads go to the file's end, whatever size fstat gave: files under /proc
// say 0 and hold more.
#ifndef DUD_CLI_SCRIPT_REGULAR_FILE_H_
#define DUD_CLI_SCRIPT_REGULAR_FILE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

namespace dudUdudADOD::cli {

// Why a file was refused; what() says it for a message that names the
// file: "No such file or directory", "it is a named pipe", ...
class FileRefused : public std::runtime_error {
 public:
  FileRefused(bool opened, const std::string& why) : std::runtime_error(why), opened_(opened) {}
  // False when the open itself failed; true for what was opened but is no
  // regular file.
  bool opened() const { return opened_; }

 private:
  bool opened_;
};

class RegularFile {
 public:
  enum class Links { kFollow, kRefuse };

  // Raises FileRefused.
  explicit RegularFile(const std::string& path, Links links = Links::kFollow);
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // The size fstat gave at the open: a hint, 0 for files under /proc.
  uint64_t size() const { return size_; }

  // Reads up to `into.size()` bytes, fewer only at the end; 0 at the end.
  // Raises FileRefused(true, reason) when the system fails the read.
  size_t Read(std::span<uint8_t> into);

  // The rest of the file. Raises FileRefused(true, "it is larger than
  // LIMIT bytes") past `limit`, having read at most that much.
  std::string ReadAll(size_t limit);

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// Writes `path` whole or not at all: `write` fills a new file beside it
// (given by its path), which then takes the place of `path` by rename. A
// symbolic link at `path` is replaced, never followed. False when any step
// fails (the new file is then removed); `path` is left as it was.
bool ReplaceFile(const std::string& path, const std::function<bool(const std::string&)>& write);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_REGULAR_FILE_H_
