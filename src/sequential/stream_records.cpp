// Stream records (stm, stmcr): no length words and no blocks; a record ends
// at its terminator, CR LF for stm and CR for stmcr, and every other byte is
// record data (form feeds, vertical tabs, a lone LF or CR in stm, an LF in
// stmcr). A last record without its terminator is still a record.
//
// A record may be of any length (a file without a terminator is one record),
// so each is copied as it is scanned, in pieces, and never held whole.

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/console.h"
#include "sequential/sequential_copy.h"

namespace {

// What takes the place of a terminator on output.
enum class RecordEnd {
    kLineEnd,  // an LF, by the newline rule
    kNothing,
    kRaw,  // -r: the terminator as it stands
};

struct StreamScan {
    bool crlf;  // stm: CR LF ends a record; stmcr: CR alone
    RecordEnd record_end;
    bool dumps;
    bool open = false;         // bytes follow the last terminator
    std::uint64_t length = 0;  // of the open record, counted at -v2 alone
};

std::size_t terminator_size(bool crlf) { return crlf ? 2 : 1; }

// --- The fast path: 64 bytes at a time ---
//
// Each output mode is a block transform: stm with line ends drops the CR of
// every CR LF (the LF stays as the line end), stm without them drops both
// bytes, stmcr with line ends turns every CR into an LF, stmcr without them
// drops every CR, and -r keeps every byte. A block's dropped bytes come out
// of a copy of the whole block, then one overlapping 64-byte copy per
// dropped byte moves the rest up: no call and no unpredictable branch per
// record, and the cursors stay in registers.

constexpr std::size_t kBlock = 64;
constexpr std::uint64_t kLastBit = std::uint64_t{1} << (kBlock - 1);
// The fast path reads up to two blocks and two bytes ahead (the copy from
// behind a block's last byte) and writes up to two blocks ahead of its
// output cursor.
constexpr std::size_t kBlockReach = 2 * kBlock + 2;

// Bit i set when a terminator begins at block[i]: a CR, and for stm an LF
// behind it, so block[kBlock] is read too.
template <bool kCrLf>
std::uint64_t terminator_mask(const unsigned char* block) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(static_cast<char>(kCarriageReturn));
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLineFeed));
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < kBlock; i += 16) {
        __m128i found = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i)), cr);
        if constexpr (kCrLf) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i + 1));
            found = _mm_and_si128(found, _mm_cmpeq_epi8(next, lf));
        }
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(found))) << i;
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const bool found = block[i] == kCarriageReturn && (!kCrLf || block[i + 1] == kLineFeed);
        mask |= static_cast<std::uint64_t>(found) << i;
    }
    return mask;
#endif
}

// Copies the 64-byte block at in to out without the bytes whose bits are set
// in dropped; returns the count written.
inline std::size_t copy_block_dropping(unsigned char* out, const unsigned char* in, std::uint64_t dropped) {
    std::memcpy(out, in, kBlock);
    // The first dropped byte without a branch on whether there is one: with
    // none, the copy lands behind the block's bytes and nothing is counted.
    std::size_t at = static_cast<std::size_t>(std::countr_zero(dropped | kLastBit)) + (dropped == 0);
    std::memcpy(out + at, in + at + 1, kBlock);
    std::size_t count = dropped != 0;
    for (dropped &= dropped - 1; dropped != 0; dropped &= dropped - 1) {
        at = static_cast<std::size_t>(std::countr_zero(dropped));
        std::memcpy(out + at - count, in + at + 1, kBlock);
        ++count;
    }
    return kBlock - count;
}

struct BlockCursors {
    const unsigned char* next;
    unsigned char* out;
    std::uint64_t records;
    bool split;  // the last block ended between the CR and the LF of a terminator
};

// Copies blocks while two of input lie before end and two of output room
// before out_end.
template <bool kCrLf, RecordEnd kEnd>
void copy_stream_blocks(BlockCursors& c, const unsigned char* end, const unsigned char* out_end) {
    const unsigned char* next = c.next;
    unsigned char* out = c.out;
    std::uint64_t records = c.records;
    std::uint64_t split = c.split;
    while (static_cast<std::size_t>(end - next) >= kBlockReach &&
           static_cast<std::size_t>(out_end - out) >= kBlockReach) {
        const std::uint64_t mask = terminator_mask<kCrLf>(next);
        if constexpr (kEnd == RecordEnd::kRaw) {
            std::memcpy(out, next, kBlock);
            out += kBlock;
            records += static_cast<unsigned>(std::popcount(mask));
        } else if constexpr (!kCrLf && kEnd == RecordEnd::kLineEnd) {
            std::memcpy(out, next, kBlock);
            for (std::uint64_t crs = mask; crs != 0; crs &= crs - 1) {
                out[std::countr_zero(crs)] = kLineFeed;
            }
            out += kBlock;
            records += static_cast<unsigned>(std::popcount(mask));
        } else if constexpr (kCrLf && kEnd == RecordEnd::kNothing) {
            // The LF of a terminator split by the block's start goes too.
            out += copy_block_dropping(out, next, mask | (mask << 1) | split);
            records += static_cast<unsigned>(std::popcount(mask));
        } else {
            const std::size_t written = copy_block_dropping(out, next, mask);
            out += written;
            records += kBlock - written;
        }
        split = kCrLf ? mask >> (kBlock - 1) : 0;
        next += kBlock;
    }
    c.next = next;
    c.out = out;
    c.records = records;
    c.split = split != 0;
}

void copy_blocks(const StreamScan& scan, BlockCursors& c, const unsigned char* end, const unsigned char* out_end) {
    switch (scan.record_end) {
        case RecordEnd::kLineEnd:
            return scan.crlf ? copy_stream_blocks<true, RecordEnd::kLineEnd>(c, end, out_end)
                             : copy_stream_blocks<false, RecordEnd::kLineEnd>(c, end, out_end);
        case RecordEnd::kNothing:
            return scan.crlf ? copy_stream_blocks<true, RecordEnd::kNothing>(c, end, out_end)
                             : copy_stream_blocks<false, RecordEnd::kNothing>(c, end, out_end);
        case RecordEnd::kRaw:
            return scan.crlf ? copy_stream_blocks<true, RecordEnd::kRaw>(c, end, out_end)
                             : copy_stream_blocks<false, RecordEnd::kRaw>(c, end, out_end);
    }
}

// Runs the fast path over [copy.input.next, end) as far as it goes, writing
// out the output buffer whenever it fills. It leaves at least a block to the
// record-by-record loop, which then tells whether a record is open at end.
// False once output failed.
bool copy_stream_fast(SequentialCopy& copy, const StreamScan& scan, const unsigned char* end) {
    BlockCursors c{copy.input.next, output_room(copy.console).begin, copy.records, false};
    for (;;) {
        copy_blocks(scan, c, end, output_room(copy.console).end);
        output_commit(copy.console, c.out);
        if (static_cast<std::size_t>(end - c.next) < kBlockReach) {
            break;
        }
        // The output buffer is full: write it out.
        const OutputRoom room = output_reserve(copy.console, kBlockReach);
        if (room.begin == room.end) {
            return false;
        }
        c.out = room.begin;
    }
    copy.input.next = c.next;
    copy.records = c.records;
    if (c.split) {
        // The LF of the last block's terminator: the line end with line
        // ends, the terminator's second byte with -r.
        ++copy.input.next;
        if (scan.record_end != RecordEnd::kNothing && !write_output_byte(copy.console, kLineFeed)) {
            return false;
        }
    }
    return true;
}

// --- Record by record: the rest of a piece, and every record at -v2 ---

// The first terminator in [from, end), or nullptr. An LF at from is no
// terminator in stm: the byte before it lies outside the piece, and a piece
// never begins between a CR and an LF (see copy_stream_records).
const unsigned char* find_terminator(bool crlf, const unsigned char* from, const unsigned char* end) {
    if (!crlf) {
        return static_cast<const unsigned char*>(std::memchr(from, kCarriageReturn, end - from));
    }
    for (const unsigned char* search = from; search < end;) {
        const auto* lf = static_cast<const unsigned char*>(std::memchr(search, kLineFeed, end - search));
        if (lf == nullptr) {
            return nullptr;
        }
        if (lf > from && lf[-1] == kCarriageReturn) {
            return lf - 1;
        }
        search = lf + 1;
    }
    return nullptr;
}

// The record that ended (terminated or not) at -v2.
void dump_record_length(SequentialCopy& copy, const StreamScan& scan, bool terminated) {
    message(copy.console, terminated ? "reclen: %llu\n" : "reclen: %llu (no terminator)\n",
            static_cast<unsigned long long>(scan.length));
}

// Copies the records and record pieces in [copy.input.next, end) one by
// one and consumes them. False once output failed.
bool copy_stream_records_one_by_one(SequentialCopy& copy, StreamScan& scan, const unsigned char* end) {
    const std::size_t skip = terminator_size(scan.crlf);
    static const unsigned char kLineEndBytes[] = {kLineFeed};
    static const unsigned char kCrLfBytes[] = {kCarriageReturn, kLineFeed};
    const unsigned char* record_end = scan.record_end == RecordEnd::kLineEnd ? kLineEndBytes : kCrLfBytes;
    const std::size_t record_end_size = scan.record_end == RecordEnd::kLineEnd ? 1
                                        : scan.record_end == RecordEnd::kRaw ? skip
                                                                             : 0;
    while (copy.input.next < end) {
        const unsigned char* from = copy.input.next;
        const unsigned char* terminator = find_terminator(scan.crlf, from, end);
        const unsigned char* data_end = terminator != nullptr ? terminator : end;
        const std::size_t size = static_cast<std::size_t>(data_end - from);
        copy.input.next = terminator != nullptr ? terminator + skip : end;
        if (!write_output(copy.console, from, size)) {
            return false;
        }
        scan.open = scan.open || size != 0;
        if (scan.dumps) {
            scan.length += size;
        }
        if (terminator == nullptr) {
            break;
        }
        if (!write_output(copy.console, record_end, record_end_size)) {
            return false;
        }
        ++copy.records;
        if (scan.dumps) {
            dump_record_length(copy, scan, true);
        }
        scan.open = false;
        scan.length = 0;
    }
    return true;
}

}  // namespace

bool copy_stream_records(SequentialCopy& copy) {
    StreamScan scan{rfm_of(copy.attributes) == kRfmStream,
                    copy.options.raw                         ? RecordEnd::kRaw
                    : line_end_after_record(copy.options) ? RecordEnd::kLineEnd
                                                             : RecordEnd::kNothing,
                    verbose_dumps(copy.options)};
    ForwardReader& input = copy.input;
    // Two bytes for stm, so that a CR is seen together with the byte after it.
    const std::size_t wanted = terminator_size(scan.crlf);
    while (reader_fill(input, wanted) != 0) {
        const unsigned char* end = input.limit;
        // A CR that ends what has been read may begin a terminator: it waits
        // for the next read, which brings the byte after it. While the file
        // goes on, at least two bytes are unread here, so end stays past
        // the next byte.
        const bool more = !input.at_end && input.error_number == 0;
        if (scan.crlf && more && end[-1] == kCarriageReturn) {
            --end;
        }
        if (!scan.dumps && !copy_stream_fast(copy, scan, end)) {
            return false;
        }
        if (!copy_stream_records_one_by_one(copy, scan, end)) {
            return false;
        }
    }
    if (!check_input_error(copy)) {
        return false;
    }
    if (scan.open) {
        ++copy.records;
        if (scan.record_end == RecordEnd::kLineEnd && !write_output_byte(copy.console, kLineFeed)) {
            return false;
        }
        if (scan.dumps) {
            dump_record_length(copy, scan, false);
        }
    }
    return finish_copy(copy);
}
