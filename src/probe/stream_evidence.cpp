// Evidence for stream files: text broken into lines by line feeds,
// carriage return and line feed pairs, or carriage returns alone.
#include <algorithm>

#include "probe/evidence.h"

void add_stream_candidates(const ProbeInput& input, std::vector<Candidate>& out) {
    if (input.head_size == 0) {
        return;
    }
    std::uint64_t other = 0, line_feeds = 0, returns = 0, pairs = 0;
    std::uint64_t line = 0, longest = 0;
    for (std::size_t i = 0; i < input.head_size; ++i) {
        const unsigned char byte = input.head[i];
        if (byte == '\n' || byte == '\r') {
            line_feeds += byte == '\n' ? 1 : 0;
            returns += byte == '\r' ? 1 : 0;
            pairs += byte == '\n' && i != 0 && input.head[i - 1] == '\r' ? 1 : 0;
            longest = std::max(longest, line);
            line = 0;
            continue;
        }
        ++line;
        other += is_text_byte(byte) ? 0 : 1;
    }
    const std::uint64_t lines = line_feeds + returns - pairs;
    if (lines == 0 || other * 100 > input.head_size) {
        return;
    }
    std::uint8_t rfm = kRfmStreamLf;
    const char* kind = "line feeds";
    if (pairs * 10 >= line_feeds * 9 && line_feeds != 0) {
        rfm = kRfmStream;
        kind = "carriage return and line feed pairs";
    } else if (line_feeds == 0) {
        rfm = kRfmStreamCr;
        kind = "carriage returns";
    }
    const std::uint16_t lrl =
        rfm == kRfmStreamLf ? 0 : static_cast<std::uint16_t>(std::min<std::uint64_t>(longest, kLongestRecord));
    ByteWindow window{&input, {}, 0, 0};
    const unsigned char* last = window_bytes(window, input.size - 1, 1);
    const bool terminated = last != nullptr && *last == (rfm == kRfmStreamCr ? '\r' : '\n');
    Candidate stream = make_candidate(kOrgSequential, rfm, kRatCarriageReturn, lrl,
                                      terminated ? kStreamScore : kStreamUnterminatedScore);
    stream.evidence = formatted("text of %llu lines ended by %s, %llu bytes that are not text%s",
                                static_cast<unsigned long long>(lines), kind, static_cast<unsigned long long>(other),
                                terminated ? "" : "; the last line has no terminator");
    out.push_back(stream);
}
