#pragma once
// A log file that completed lines are appended to: buffered, reopened by name when the file is
// rotated (renamed or removed) under it, and stopped for good by the first write error.

#include <cstddef>
#include <string>
#include <string_view>

namespace logfile {

class LogFile {
public:
    // Nothing is opened yet: open() does that.
    explicit LogFile(std::string path);
    // Closes the file without writing what is still buffered: flush() first to keep it.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the path for appending, creating the file (mode 0644, less the umask) if missing.
    // False, with the reason in error(), when it can't; the sink is then stopped.
    bool open();
    // Adds the line and a line feed to the buffer, and writes the buffer once it passes
    // flush_threshold. False when that write failed or the sink has stopped; the line is then
    // dropped.
    bool add_line(std::string_view line);
    // Writes what is buffered. If the path no longer names the open file (rotated away), the
    // path is opened anew first. False when the sink has stopped or stops now: a failure drops
    // the buffer, closes the file and keeps the system's reason in error().
    bool flush();

    const std::string& path() const { return path_; }
    bool stopped() const { return stopped_; }
    // Why the sink stopped, as the system puts it ("No space left on device"); empty before.
    const std::string& error() const { return error_; }
    std::size_t buffered_bytes() const { return buffer_.size(); }

    // The buffer is written once it holds more than this, so memory stays bounded however
    // fast lines come between two timed flushes.
    static constexpr std::size_t flush_threshold = 1024 * 1024;

private:
    // The path names the file that is open: same device and inode.
    bool still_at_path() const;
    bool fail(int error_number);
    void close_file();

    std::string path_;
    std::string buffer_;
    std::string error_;
    int fd_ = -1;
    bool stopped_ = false;
};

}  // namespace logfile
