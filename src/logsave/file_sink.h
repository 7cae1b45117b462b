#pragma once
// The file end of saving a log: bytes gathered in buffers of a few MB on the caller's thread,
// written and committed by a thread of its own, so that a slow or full disk never holds the
// caller. The file appears under its name only once it is complete.

#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class QSaveFile;

namespace logsave {

class FileSink {
public:
    // Bytes gathered before they go to the writing thread; a buffer never holds more, so a
    // line longer than that goes out in pieces.
    static constexpr std::size_t buffer_bytes = std::size_t{4} << 20;
    // Full buffers that may wait for the writing thread: enough to keep it busy while the
    // caller's event loop comes back to gather more.
    static constexpr std::size_t max_waiting_buffers = 4;

    // Opens a temporary file beside `file_name`; error() says why when that fails.
    explicit FileSink(const QString& file_name);
    // Without a finish() that succeeded, the temporary file goes and an old file under the
    // name stays as it was.
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // What the buffer still takes; append() no more than that.
    std::size_t room() const { return buffer_bytes - buffer_.size(); }
    void append(std::string_view bytes) { buffer_.append(bytes); }
    // Passes the gathered bytes to the writing thread; false (nothing passed) while it still
    // has max_waiting_buffers to write.
    bool hand_over();
    // Passes the rest and has the thread commit the file under its name.
    void finish();
    // The thread has committed the file, or given up.
    bool finished() const;
    // The reason the file couldn't be written, as the system gives it; empty while all went well.
    QString error() const;
    // Bytes the thread has written so far.
    std::uint64_t bytes_written() const;

private:
    void write_loop();
    bool write_all(std::string_view bytes);

    std::unique_ptr<QSaveFile> file_;
    std::string buffer_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> waiting_;  // guarded by mutex_, as are the fields below
    // Buffers written and ready to be filled again: a fresh one would have the caller's thread
    // fault in and clear its pages anew.
    std::vector<std::string> spare_;
    bool finishing_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    QString error_;
    std::uint64_t written_ = 0;
    std::thread thread_;
};

}  // namespace logsave
