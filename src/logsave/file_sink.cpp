// The file end of saving a log: the writing thread and its hand-over of buffers.

#include "logsave/file_sink.h"

#include <QSaveFile>

#include <fcntl.h>

namespace logsave {

FileSink::FileSink(const QString& file_name) : file_(std::make_unique<QSaveFile>(file_name))
{
    if (!file_->open(QIODevice::WriteOnly)) {
        error_ = file_->errorString();
        finished_ = true;
        return;
    }
    buffer_.reserve(buffer_bytes);
    thread_ = std::thread([this] { write_loop(); });
}

FileSink::~FileSink()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    // Not committed: QSaveFile removes its temporary file.
    file_->cancelWriting();
}

bool FileSink::hand_over()
{
    std::string next;
    {
        const std::lock_guard lock(mutex_);
        if (waiting_.size() >= max_waiting_buffers)
            return false;
        waiting_.push_back(std::move(buffer_));
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    wake_.notify_one();
    buffer_ = std::move(next);
    buffer_.clear();
    buffer_.reserve(buffer_bytes);
    return true;
}

void FileSink::finish()
{
    {
        const std::lock_guard lock(mutex_);
        if (!buffer_.empty())
            waiting_.push_back(std::move(buffer_));
        finishing_ = true;
    }
    buffer_ = std::string();
    wake_.notify_one();
}

bool FileSink::finished() const
{
    const std::lock_guard lock(mutex_);
    return finished_;
}

QString FileSink::error() const
{
    const std::lock_guard lock(mutex_);
    return error_;
}

std::uint64_t FileSink::bytes_written() const
{
    const std::lock_guard lock(mutex_);
    return written_;
}

bool FileSink::write_all(std::string_view bytes)
{
    // A short write (a full disk) says nothing; the write after it fails with the reason.
    while (!bytes.empty()) {
        const qint64 written = file_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void FileSink::write_loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || finishing_ || !waiting_.empty(); });
        if (stopping_)
            return;
        if (!waiting_.empty()) {
            std::string bytes = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            const bool written = write_all(bytes);
            // Starts the disk on what was written, so that the commit's sync finds little
            // left to do and the kernel doesn't hold up later writes for a pile of dirty pages.
            // It can wait for the disk's queue: never under the lock, which the caller's
            // thread takes in its slices. (Only this thread changes written_.)
            if (written)
                ::sync_file_range(file_->handle(), static_cast<off_t>(written_), static_cast<off_t>(bytes.size()),
                                  SYNC_FILE_RANGE_WRITE);
            lock.lock();
            if (!written) {
                error_ = file_->errorString();
                finished_ = true;
                return;
            }
            written_ += bytes.size();
            spare_.push_back(std::move(bytes));
            continue;
        }
        // Finishing with nothing left to write. The commit flushes and syncs the file to disk,
        // which can take seconds for a large log: one more reason it runs here.
        lock.unlock();
        const bool committed = file_->commit();
        lock.lock();
        if (!committed)
            error_ = file_->errorString();
        finished_ = true;
        return;
    }
}

}  // namespace logsave
