// The log file sink: buffered appends with POSIX calls, reopening the name after rotation.

#include "logfile/log_file.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace logfile {

LogFile::LogFile(std::string path) : path_(std::move(path)) {}

LogFile::~LogFile()
{
    close_file();
}

bool LogFile::open()
{
    if (stopped_)
        return false;
    close_file();
    int fd;
    do
        fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(errno);
    fd_ = fd;
    return true;
}

bool LogFile::add_line(std::string_view line)
{
    if (stopped_)
        return false;
    buffer_.append(line);
    buffer_.push_back('\n');
    return buffer_.size() <= flush_threshold || flush();
}

bool LogFile::flush()
{
    if (stopped_)
        return false;
    if (buffer_.empty())
        return true;
    // A rotating tool renames or removes the file and expects the writer to carry on under
    // the old name; writing on into the renamed file would fill the archive instead.
    if ((fd_ < 0 || !still_at_path()) && !open())
        return false;
    std::string_view rest = buffer_;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        // write() never reports 0 bytes for a regular file with room; take it as a full disk.
        if (written <= 0)
            return fail(written < 0 ? errno : ENOSPC);
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    buffer_.clear();
    return true;
}

bool LogFile::still_at_path() const
{
    struct stat named {};
    struct stat open_file {};
    if (::stat(path_.c_str(), &named) != 0 || ::fstat(fd_, &open_file) != 0)
        return false;
    return named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino;
}

bool LogFile::fail(int error_number)
{
    error_ = std::strerror(error_number);
    stopped_ = true;
    // Dropped, memory and all: nothing will ever take it.
    std::string().swap(buffer_);
    close_file();
    return false;
}

void LogFile::close_file()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace logfile
