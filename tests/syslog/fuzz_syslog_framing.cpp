// libFuzzer target: a connection's bytes split at fuzzer-chosen points. The messages must be
// the same however the bytes are split, each a run of the input in order, with only counts and
// delimiters between them, none longer than the limit, and never more buffered than that.

#include "syslog/framing.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace syslog_proto;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Outcome {
    std::vector<std::string> messages;
    std::int64_t errors = 0;
};

// Feeds `stream` in chunks of the given lengths (the rest as the last), each chunk in a heap
// block of its own size so that a read past it is reported. With one chunk, every message but
// the unfinished one must be a view into it.
Outcome run(std::string_view stream, const std::vector<std::size_t>& lengths, std::size_t limit)
{
    StreamFraming framing(limit);
    Outcome outcome;
    std::size_t at = 0;
    for (std::size_t index = 0; index <= lengths.size(); ++index) {
        const std::size_t length = index < lengths.size() ? std::min(lengths[index], stream.size() - at) : stream.size() - at;
        const std::unique_ptr<char[]> block(new char[length]);
        std::copy_n(stream.data() + at, length, block.get());
        const std::string_view chunk(block.get(), length);
        at += length;
        framing.feed(chunk, [&](std::string_view message) {
            check(!message.empty() && message.size() <= limit);
            check(!lengths.empty() ||
                  (message.data() >= chunk.data() && message.data() + message.size() <= chunk.data() + chunk.size()));
            outcome.messages.emplace_back(message);
        });
        check(framing.buffered_bytes() <= limit);
    }
    framing.finish([&](std::string_view message) {
        check(!message.empty() && message.size() <= limit);
        outcome.messages.emplace_back(message);
    });
    check(framing.buffered_bytes() == 0);
    outcome.errors = framing.framing_errors();
    return outcome;
}

bool droppable(char c)
{
    return (c >= '0' && c <= '9') || c == ' ' || c == '\n' || c == '\r' || c == '\0';
}

// Each message is the run of the stream that follows the previous one after a gap of dropped
// count and delimiter bytes, and the gaps and messages add up to the stream.
void check_accounting(std::string_view stream, const std::vector<std::string>& messages)
{
    std::size_t at = 0;
    for (const std::string& message : messages) {
        std::size_t start = at;
        while (stream.substr(start, message.size()) != message) {
            check(start < stream.size() && droppable(stream[start]));
            ++start;
        }
        at = start + message.size();
    }
    for (; at < stream.size(); ++at)
        check(droppable(stream[at]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::size_t limit = provider.ConsumeBool() ? max_message_bytes : provider.ConsumeIntegralInRange<std::size_t>(16, 80);
    std::vector<std::size_t> lengths(provider.ConsumeIntegralInRange<std::size_t>(0, 12));
    for (std::size_t& length : lengths)
        length = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::string stream = provider.ConsumeRemainingBytesAsString();

    const Outcome whole = run(stream, {}, limit);
    const Outcome split = run(stream, lengths, limit);
    check(split.messages == whole.messages && split.errors == whole.errors);
    check_accounting(stream, whole.messages);
    return 0;
}
