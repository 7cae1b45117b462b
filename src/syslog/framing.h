#pragma once
// Where one syslog message ends and the next begins: on a TCP connection by octet counting or
// by delimiters (RFC 6587), in a UDP datagram (RFC 5426). A peer's bytes are hostile: every
// count is checked and a message never holds more than max_message_bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace syslog_proto {

inline constexpr std::size_t max_message_bytes = 16 * 1024 * 1024;  // 16 MiB

// The framing of one TCP connection. The connection's first byte decides it: a digit 1-9
// starts octet counting ("MSG-LEN SP MSG"), anything else delimiters (LF, CR LF or NUL). A bad
// count turns the connection to delimiters from there on, its bytes starting the next message.
class StreamFraming {
public:
    // message_limit: the longest message, and the largest count taken (at least 16);
    // max_message_bytes unless a test wants the bound within reach.
    explicit StreamFraming(std::size_t message_limit = max_message_bytes);

    // Splits one received chunk into messages; calls on_message(std::string_view) for each
    // complete one, in order. A view points into the chunk where the message lies whole in it,
    // else into the framing's own buffer; it is valid only during the call. Empty messages are
    // not given.
    template <class OnMessage>
    void feed(std::string_view chunk, OnMessage&& on_message)
    {
        begin_chunk(chunk);
        while (const std::optional<std::string_view> message = next_message())
            on_message(*message);
    }

    // The connection closed: a message left unfinished is given as it is, when not empty. The
    // next chunk fed is taken as a new connection's first, its framing decided anew.
    template <class OnMessage>
    void finish(OnMessage&& on_message)
    {
        if (const std::optional<std::string_view> message = take_unfinished())
            on_message(*message);
    }

    // Bad counts seen on this connection.
    std::int64_t framing_errors() const { return framing_errors_; }
    // Bytes held for an unfinished message (never more than the message limit).
    std::size_t buffered_bytes() const { return given_from_buffer_ ? 0 : buffer_.size(); }

private:
    enum class Mode : std::uint8_t { undecided, counting, delimited };
    // Where a counting connection stands: between frames, in a frame's count, in its message.
    enum class Part : std::uint8_t { between, count, frame };

    void begin_chunk(std::string_view chunk);
    std::optional<std::string_view> next_message();
    std::optional<std::string_view> next_counted();
    std::optional<std::string_view> next_delimited();
    std::optional<std::string_view> take_unfinished();
    // The first LF or NUL of the chunk at or after pos_ and before `limit`, else npos.
    std::size_t next_delimiter(std::size_t limit);
    // A count went wrong at pos_: delimiters from here on, the count's bytes kept.
    void count_failed();
    // `piece` of the chunk ends a message begun in buffer_ (or all of it, with buffer_ empty).
    std::string_view complete(std::string_view piece);
    void release_buffer();

    std::size_t limit_;
    Mode mode_ = Mode::undecided;
    Part part_ = Part::between;
    // Counting: the frame's length once read, its value so far while reading the count.
    std::size_t count_ = 0;
    // The unfinished message; while a count is read across chunks, its earlier digits.
    std::string buffer_;
    // buffer_ was just given as a message: it is emptied before anything else.
    bool given_from_buffer_ = false;
    std::int64_t framing_errors_ = 0;

    // The chunk being split.
    std::string_view chunk_;
    std::size_t pos_ = 0;
    std::size_t count_start_ = 0;  // where the count's digits in this chunk begin
    // The next LF and NUL at or after pos_ as last searched; chunk_.size() for none,
    // npos for not searched yet. Each search starts where the last one ended, so a chunk is
    // scanned once however many messages it holds.
    std::size_t next_lf_ = std::string_view::npos;
    std::size_t next_nul_ = std::string_view::npos;
};

// The message of one UDP datagram: a trailing LF, CR LF or NUL removed.
std::string_view datagram_message(std::string_view datagram);

}  // namespace syslog_proto
