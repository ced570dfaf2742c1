#include "cli/script/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace dudUdudADOD::cli {

namespace {

// What a file that is no regular file is, for a message.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is a named pipe";
  if (S_ISSOCK(mode)) return "it is a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
  return "it is not a regular file";
}

}  // namespace

RegularFile::RegularFile(const std::string& path, Links links) {
  const int flags =
      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::kRefuse ? O_NOFOLLOW : 0);
  fd_ = open(path.c_str(), flags);
  if (fd_ < 0) {
    if (errno == ELOOP && links == Links::kRefuse) {
      throw FileRefused(false, "it is a symbolic link");
    }
    throw FileRefused(false, std::strerror(errno));
  }
  struct stat status {};
  if (fstat(fd_, &status) != 0) {
    const std::string why = std::strerror(errno);
    close(fd_);
    throw FileRefused(true, why);
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd_);
    throw FileRefused(true, KindOf(status.st_mode));
  }
  size_ = static_cast<uint64_t>(status.st_size);
}

RegularFile::~RegularFile() { close(fd_); }

size_t RegularFile::Read(std::span<uint8_t> into) {
  size_t done = 0;
  while (done < into.size()) {
    const ssize_t n = read(fd_, into.data() + done, into.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileRefused(true, std::strerror(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

std::string RegularFile::ReadAll(size_t limit) {
  std::string text;
  std::vector<uint8_t> chunk(size_t{1} << 16);
  for (size_t n; (n = Read(chunk)) > 0;) {
    if (text.size() + n > limit) {
      throw FileRefused(true, "it is larger than " + std::to_string(limit) + " bytes");
    }
    text.append(reinterpret_cast<const char*>(chunk.data()), n);
  }
  return text;
}

bool ReplaceFile(const std::string& path, const std::function<bool(const std::string&)>& write) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());  // a new file, private to its user
  if (fd < 0) return false;
  close(fd);
  if (!write(temporary) || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace dudUdudADOD::cli
