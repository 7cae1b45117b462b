// TCP framing by octet counting or delimiters, and a datagram's message.

#include "syslog/framing.h"

#include <algorithm>
#include <cstring>

namespace syslog_proto {

namespace {

constexpr std::size_t max_count_digits = 8;
// A smaller limit could not hold the digits of a count that turns out bad.
constexpr std::size_t min_message_limit = 16;
// A buffer that grew past this for one long message is given back once it has been given.
constexpr std::size_t kept_buffer_bytes = 64 * 1024;

bool is_stray_delimiter(char c)
{
    return c == '\n' || c == '\r' || c == '\0';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The first `c` in text[from, end); text.size() for none.
std::size_t find_byte(std::string_view text, std::size_t from, char c)
{
    const void* found = std::memchr(text.data() + from, c, text.size() - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : text.size();
}

}  // namespace

StreamFraming::StreamFraming(std::size_t message_limit) : limit_(std::max(message_limit, min_message_limit))
{
}

void StreamFraming::begin_chunk(std::string_view chunk)
{
    release_buffer();
    chunk_ = chunk;
    pos_ = 0;
    count_start_ = 0;
    next_lf_ = std::string_view::npos;
    next_nul_ = std::string_view::npos;
}

void StreamFraming::release_buffer()
{
    if (!given_from_buffer_)
        return;
    given_from_buffer_ = false;
    if (buffer_.capacity() > kept_buffer_bytes)
        std::string().swap(buffer_);
    else
        buffer_.clear();
}

std::optional<std::string_view> StreamFraming::next_message()
{
    release_buffer();
    if (mode_ == Mode::undecided && pos_ < chunk_.size())
        mode_ = chunk_[pos_] >= '1' && chunk_[pos_] <= '9' ? Mode::counting : Mode::delimited;
    if (mode_ == Mode::counting)
        if (std::optional<std::string_view> message = next_counted(); message || mode_ == Mode::counting)
            return message;
    return mode_ == Mode::delimited ? next_delimited() : std::nullopt;
}

std::string_view StreamFraming::complete(std::string_view piece)
{
    if (buffer_.empty())
        return piece;
    buffer_.append(piece);
    given_from_buffer_ = true;
    return buffer_;
}

void StreamFraming::count_failed()
{
    ++framing_errors_;
    mode_ = Mode::delimited;
    if (part_ == Part::count)
        pos_ = count_start_;  // buffer_ holds the digits of earlier chunks
    part_ = Part::between;
}

std::optional<std::string_view> StreamFraming::next_counted()
{
    while (pos_ < chunk_.size()) {
        switch (part_) {
        case Part::between:
            while (pos_ < chunk_.size() && is_stray_delimiter(chunk_[pos_]))
                ++pos_;
            if (pos_ == chunk_.size())
                return std::nullopt;
            if (chunk_[pos_] < '1' || chunk_[pos_] > '9') {
                count_failed();
                return std::nullopt;
            }
            part_ = Part::count;
            count_start_ = pos_;
            count_ = 0;
            break;
        case Part::count: {
            for (; pos_ < chunk_.size() && is_digit(chunk_[pos_]); ++pos_) {
                if (buffer_.size() + (pos_ - count_start_) == max_count_digits) {
                    count_failed();
                    return std::nullopt;
                }
                count_ = count_ * 10 + static_cast<std::size_t>(chunk_[pos_] - '0');
            }
            if (pos_ == chunk_.size()) {
                buffer_.append(chunk_.substr(count_start_));
                return std::nullopt;
            }
            if (chunk_[pos_] != ' ' || count_ > limit_) {
                count_failed();
                return std::nullopt;
            }
            ++pos_;
            buffer_.clear();
            part_ = Part::frame;
            break;
        }
        case Part::frame: {
            const std::size_t wanted = count_ - buffer_.size();
            const std::size_t taken = std::min(wanted, chunk_.size() - pos_);
            const std::string_view piece = chunk_.substr(pos_, taken);
            pos_ += taken;
            if (taken < wanted) {
                buffer_.append(piece);
                return std::nullopt;
            }
            part_ = Part::between;
            const std::string_view message = datagram_message(complete(piece));
            if (!message.empty())
                return message;
            release_buffer();
            break;
        }
        }
    }
    return std::nullopt;
}

std::size_t StreamFraming::next_delimiter(std::size_t limit)
{
    if (next_lf_ == std::string_view::npos || next_lf_ < pos_)
        next_lf_ = find_byte(chunk_, pos_, '\n');
    if (next_nul_ == std::string_view::npos || next_nul_ < pos_)
        next_nul_ = find_byte(chunk_, pos_, '\0');
    const std::size_t found = std::min(next_lf_, next_nul_);
    return found < limit ? found : std::string_view::npos;
}

std::optional<std::string_view> StreamFraming::next_delimited()
{
    while (pos_ < chunk_.size()) {
        // buffer_ stays below the limit, so there is always room for one more byte.
        const std::size_t window_end = std::min(chunk_.size(), pos_ + (limit_ - buffer_.size()));
        const std::size_t end = next_delimiter(window_end);
        if (end == std::string_view::npos) {
            const std::string_view piece = chunk_.substr(pos_, window_end - pos_);
            pos_ = window_end;
            if (buffer_.size() + piece.size() == limit_)
                return complete(piece);
            buffer_.append(piece);
            return std::nullopt;
        }
        const bool line_feed = chunk_[end] == '\n';
        std::string_view message = complete(chunk_.substr(pos_, end - pos_));
        pos_ = end + 1;
        if (line_feed && !message.empty() && message.back() == '\r')
            message.remove_suffix(1);
        if (!message.empty())
            return message;
        release_buffer();
    }
    return std::nullopt;
}

std::optional<std::string_view> StreamFraming::take_unfinished()
{
    release_buffer();
    mode_ = Mode::undecided;
    part_ = Part::between;
    chunk_ = {};
    pos_ = 0;
    if (buffer_.empty())
        return std::nullopt;
    given_from_buffer_ = true;
    return buffer_;
}

std::string_view datagram_message(std::string_view datagram)
{
    if (datagram.ends_with('\0'))
        datagram.remove_suffix(1);
    else if (datagram.ends_with('\n'))
        datagram.remove_suffix(datagram.ends_with("\r\n") ? 2 : 1);
    return datagram;
}

}  // namespace syslog_proto
