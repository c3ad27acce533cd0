#include "indexed/indexed_copy.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/indexed_layout.h"
#include "indexed/bucket_entries.h"
#include "indexed/copy_array.h"
#include "indexed/descriptor_dumps.h"
#include "indexed/expansion.h"
#include "platform/console.h"
#include "platform/formatted.h"
#include "platform/little_endian.h"
#include "platform/raw_io.h"

namespace {

// The most bytes one read of consecutive buckets fetches (at least one
// bucket): a read per bucket would cost a system call per few kilobytes.
constexpr std::size_t kLargestRead = 1 << 18;

// Pieces of a record up to this long are copied as this many bytes.
constexpr std::size_t kSmallPiece = 16;

// The largest record the two-byte prefix of -l can count.
constexpr std::size_t kLargestPrefixedRecord = 0xFFFF;

// Consecutive blocks of the file read at once, from first_vbn: a ring that
// follows the file costs a read per run of buckets, not per bucket.
struct BucketRun {
    ReadBuffer buffer;
    std::size_t capacity = 0;   // bytes of buffer
    std::uint32_t first_vbn = 0;
    std::size_t requested = 0;  // bytes the last read asked for; 0 before it
    std::size_t supplied = 0;   // bytes the file supplied of them
};

// The state of one walk over the ring.
struct IndexedCopy {
    int input_fd;
    const RunOptions& options;
    Console& console;
    CopyOutcome& outcome;
    Console* trace = nullptr;  // the console at -v3, for the copy array and expansion traces
    EntryFormat entry_format{};
    CopyArray copy_array{};
    // Every piece of the copy array stays where it lies: a stored record is
    // its user record, and is written whole.
    bool in_user_order = false;
    std::int32_t minimum_length = 0;  // the fewest bytes a stored record needs
    std::size_t record_length = 0;    // of every record when they have a fixed length; 0 otherwise
    // The lengths record_length_fits lets through: none when the two above
    // exclude each other.
    std::size_t shortest_record = 0;
    std::size_t longest_record = 0;
    Expansion expansion{};
    bool expanded = false;  // keys or data are compressed
    // Compressed records in user order, untraced: expanded straight into
    // the output buffer.
    bool expanded_in_place = false;
    std::string fault{};  // why an expansion was refused
    std::size_t bucket_size = 0;
    BucketRun run{};
};

void print_prolog_line(const KeyDescriptor& key, const Prolog& prolog, Console& console) {
    message(console, "prolog: dbktsiz=%d,flags=%d,avbn=%d,amax=%d,dvbn=%d,mrn=%d,eof=%d,ver_no=%d,gbc=%d,colvbn=%d\n",
            key.datbktsz, key.flags, prolog.avbn, prolog.amax, prolog.dvbn, static_cast<std::int32_t>(prolog.mrn),
            static_cast<std::int32_t>(prolog.eof), prolog.ver_no, prolog.gbc, prolog.colvbn);
}

void print_bucket_line(std::uint32_t vbn, const BucketHeader& header, Console& console) {
    message(console,
            "vbn #%d: checkchar=0x%02x,indexno=%d,adrsample=0x%04x,freespace=0x%04x,nxtrecid=%d,nxtbkt=%d,level=%d,"
            "bktcb=(lastbkt=%d,rootbkt=%d,ptr_sz=%d)\n",
            static_cast<std::int32_t>(vbn), header.checkchar, header.indexno, header.adrsample, header.freespace,
            header.nxtrecid, static_cast<std::int32_t>(header.nxtbkt), header.level, header.bktcb & 1,
            (header.bktcb >> 1) & 1, (header.bktcb >> 3) & 3);
}

// The "dr " line of an entry whose head was read; room is the bytes the
// file supplied from the entry on. In prolog 3 files whose records have the
// rl field, rl shows the two bytes at the field's place in every entry (0
// when they lie outside those bytes); elsewhere an entry without the field
// shows "-".
void print_entry_line(const Entry& entry, const EntryFormat& format, std::size_t room, Console& console) {
    const EntryIds ids = entry_ids(entry, format);
    const unsigned char ctrl = ids.ctrl;
    if (format.layout == EntryLayout::kProlog2) {
        const std::string rrv =
            ids.has_pointer ? formatted("(id=%u,vbn=%llu)", ids.rrv_id, static_cast<unsigned long long>(ids.rrv_vbn))
                            : "-";
        const std::string rl = entry.rl_read ? std::to_string(entry.rl) : "-";
        message(console, "dr ctrl=(ptr_sz=%d,del=%d,rrv=%d,noptr=%d),rid=%u,rrv=%s,rl=%s\n", ctrl & 3,
                (ctrl >> 2) & 1, (ctrl >> 3) & 1, (ctrl >> 4) & 1, ids.record_id, rrv.c_str(), rl.c_str());
        return;
    }
    const std::string rl =
        format.length_field ? std::to_string(room >= kEntryHeaderSize ? le16(entry.head + kEntryLengthOffset) : 0)
                            : "-";
    message(console, "dr ctrl=(ptr_sz=%d,del=%d,rrv=%d),rid=%u,rrv=0x%04x%04x%04x,rl=%s\n", ctrl & 3,
            (ctrl >> 2) & 1, (ctrl >> 3) & 1, ids.record_id, static_cast<unsigned>(ids.rrv_vbn >> 16),
            static_cast<unsigned>(ids.rrv_vbn & 0xFFFF), ids.rrv_id, rl.c_str());
}

// Room for size bytes in the output buffer: the free part as it is when
// large enough, which costs no call, else what output_reserve makes.
OutputRoom output_room_for(Console& console, std::size_t size) {
    const OutputRoom room = output_room(console);
    if (static_cast<std::size_t>(room.end - room.begin) >= size) {
        return room;
    }
    return output_reserve(console, size);
}

// Writes one stored record of length bytes through the copy array: the
// pieces of a record always add up to its length. False once output failed.
bool write_record(IndexedCopy& copy, const unsigned char* record, std::size_t length) {
    Console& console = copy.console;
    const bool prefix = copy.options.length_prefix;
    const bool line_end = line_end_after_record(copy.options);
    const CopyEntry* const entries = copy.copy_array.entries;
    const int count = copy.copy_array.count;
    const OutputRoom room = output_room_for(console, length + 3 + kSmallPiece);
    if (room.begin != room.end) {
        // The whole record fits into the output buffer: copy it there with
        // the cursor kept local. A short piece with kSmallPiece bytes of the
        // record from its start is copied as that many, which the compiler
        // does without a call; the bytes past the piece are overwritten next.
        unsigned char* out = room.begin;
        if (prefix) {
            *out++ = static_cast<unsigned char>(length);
            *out++ = static_cast<unsigned char>(length >> 8);
        }
        // An empty record may have no buffer at all: nothing to copy from.
        if (length != 0) {
            for (int i = 0; i + 1 < count; ++i) {
                const std::size_t src = static_cast<std::size_t>(entries[i].src);
                const std::size_t len = static_cast<std::size_t>(entries[i].len);
                if (len <= kSmallPiece && src + kSmallPiece <= length) {
                    std::memcpy(out, record + src, kSmallPiece);
                } else {
                    std::memcpy(out, record + src, len);
                }
                out += len;
            }
            const std::size_t tail = static_cast<std::size_t>(entries[count - 1].src);
            std::memcpy(out, record + tail, length - tail);
            out += length - tail;
        }
        if (line_end) {
            *out++ = '\n';
        }
        output_commit(console, out);
        ++copy.outcome.records;
        return true;
    }
    if (prefix) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8)};
        if (!write_output(console, bytes, sizeof bytes)) {
            return false;
        }
    }
    for (int i = 0; i < count; ++i) {
        const std::size_t src = static_cast<std::size_t>(entries[i].src);
        const std::size_t len = i + 1 == count ? length - src : static_cast<std::size_t>(entries[i].len);
        if (!write_output(console, record + src, len)) {
            return false;
        }
    }
    if (line_end && !write_output_byte(console, '\n')) {
        return false;
    }
    ++copy.outcome.records;
    return true;
}

// Reports a record of length bytes that record_length_fits refused: one
// that is not lrl bytes long in a file of fixed-length records, too short
// for its key, or too long for -l. Returns false.
bool refuse_record_length(IndexedCopy& copy, std::uint32_t vbn, const Entry& entry, std::size_t length) {
    if (copy.record_length != 0 && length != copy.record_length) {
        message(copy.console, "record at VBN %u, offset %zu: %zu bytes where lrl is %zu\n", vbn, entry.offset, length,
                copy.record_length);
    } else if (length < static_cast<std::size_t>(copy.minimum_length)) {
        message(copy.console, "record at VBN %u, offset %zu: %zu bytes are fewer than the %d its key needs\n", vbn,
                entry.offset, length, copy.minimum_length);
    } else {
        message(copy.console,
                "record at VBN %u, offset %zu: its %zu bytes are more than the two-byte prefix of -l can count\n", vbn,
                entry.offset, length);
    }
    return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + entry.offset);
}

// Whether a record of length bytes may be written; false after reporting
// one that may not.
bool record_length_fits(IndexedCopy& copy, std::uint32_t vbn, const Entry& entry, std::size_t length) {
    if (length >= copy.shortest_record && length <= copy.longest_record) {
        return true;
    }
    return refuse_record_length(copy, vbn, entry, length);
}

// Expands a record of a file whose stored records are in user order
// straight into the free part of the output buffer, flushed first when the
// record does not fit there, and takes it there. kNoRoom, with nothing
// taken, when it does not fit the whole buffer; kRefused after reporting
// damage.
ExpansionResult expand_into_output(IndexedCopy& copy, std::uint32_t vbn, const Entry& entry, std::size_t readable) {
    const std::size_t prefix = copy.options.length_prefix ? 2 : 0;
    const std::size_t around = prefix + 1;  // the prefix and a line end
    std::size_t length = 0;
    const auto expand_into = [&](const OutputRoom& room) {
        const auto free = static_cast<std::size_t>(room.end - room.begin);
        if (free < around) {
            return ExpansionResult::kNoRoom;
        }
        return expand_record_into(copy.expansion, entry.body, entry.rl, readable, {vbn, entry.offset}, copy.fault,
                                  room.begin + prefix, free - around, &length);
    };
    OutputRoom room = output_room(copy.console);
    ExpansionResult result = expand_into(room);
    if (result == ExpansionResult::kNoRoom && flush_output(copy.console)) {
        room = output_room(copy.console);
        result = expand_into(room);
    }
    if (result == ExpansionResult::kRefused) {
        message(copy.console, "%s\n", copy.fault.c_str());
        end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + entry.offset);
        return result;
    }
    if (result == ExpansionResult::kNoRoom) {
        return result;
    }
    if (!record_length_fits(copy, vbn, entry, length)) {
        return ExpansionResult::kRefused;
    }
    if (prefix != 0) {
        room.begin[0] = static_cast<unsigned char>(length);
        room.begin[1] = static_cast<unsigned char>(length >> 8);
    }
    unsigned char* out = room.begin + prefix + length;
    if (line_end_after_record(copy.options)) {
        *out++ = '\n';
    }
    output_commit(copy.console, out);
    ++copy.outcome.records;
    return result;
}

// Writes a live entry, expanded first when compressed. The stored record
// of an untraced file in user order is expanded straight into the output
// buffer, flushed first when the record does not fit its free part; any
// other (or one larger than the whole buffer) is expanded into the record
// buffer and written from there. The bucket's entries end at end. False
// after reporting damage or a failed write.
bool copy_live_entry(IndexedCopy& copy, std::uint32_t vbn, const unsigned char* bucket, const Entry& entry,
                     std::size_t end) {
    const unsigned char* record = entry.body;
    std::size_t length = entry.rl;
    if (copy.expanded) {
        const std::size_t readable = end - static_cast<std::size_t>(entry.body - bucket);
        if (copy.expanded_in_place) {
            const ExpansionResult result = expand_into_output(copy, vbn, entry, readable);
            if (result != ExpansionResult::kNoRoom) {
                return result == ExpansionResult::kExpanded;
            }
        }
        if (!expand_record(copy.expansion, entry.body, entry.rl, readable, {vbn, entry.offset}, copy.trace, copy.fault,
                           &length)) {
            message(copy.console, "%s\n", copy.fault.c_str());
            return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + entry.offset);
        }
        record = copy.expansion.record.data();
    }
    return record_length_fits(copy, vbn, entry, length) && write_record(copy, record, length);
}

// The bucket at vbn, read with those behind it unless the last read holds
// it already; *present is how many of its bytes the file supplied. Returns
// nullptr after reporting a failed read.
const unsigned char* fetch_bucket(IndexedCopy& copy, std::uint32_t vbn, std::size_t* present) {
    BucketRun& run = copy.run;
    const std::uint64_t run_blocks = run.requested / kBlockSize;
    const std::uint64_t run_end = run.first_vbn + run_blocks;
    if (run.requested == 0 || vbn < run.first_vbn || vbn + copy.bucket_size / kBlockSize > run_end) {
        // A walk that goes on just behind the last read (the ring follows
        // the file) reads twice as much next time, up to the buffer; a jump
        // elsewhere reads one bucket.
        const bool onward = run.requested != 0 && vbn >= run_end && vbn < run_end + run_blocks;
        std::size_t size = onward ? std::min(2 * run.requested, run.capacity) : copy.bucket_size;
        std::size_t got = 0;
        bool read = read_full_at(copy.input_fd, run.buffer.data, size, vbn_offset(vbn), &got);
        if (!read && size > copy.bucket_size) {
            // Records before a bad stretch of the file still come out first.
            size = copy.bucket_size;
            read = read_full_at(copy.input_fd, run.buffer.data, size, vbn_offset(vbn), &got);
        }
        if (!read) {
            run.requested = 0;
            report_positioned_read_error(copy.console, "an indexed file");
            end_copy(copy.outcome, CopyResult::kInputError);
            return nullptr;
        }
        run.first_vbn = vbn;
        run.requested = size;
        run.supplied = got;
    }
    const std::size_t start = static_cast<std::size_t>(vbn - run.first_vbn) * kBlockSize;
    *present = run.supplied > start ? std::min(run.supplied - start, copy.bucket_size) : 0;
    return run.buffer.data + start;
}

// Writes the live records of the bucket at vbn, of which the file supplied
// the first `present` bytes (the bucket size when whole). True with *nxtbkt
// set; false after reporting damage or a failed write.
bool copy_indexed_bucket(IndexedCopy& copy, std::uint32_t vbn, const unsigned char* bucket, std::size_t present,
                         std::uint32_t* nxtbkt) {
    Console& console = copy.console;
    const std::size_t bucket_size = copy.bucket_size;
    if (present == 0) {
        message(console, "bucket VBN %u lies beyond the end of the file\n", vbn);
        return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn));
    }
    if (present < kBucketHeaderSize) {
        message(console, "bucket VBN %u: the file ends after %zu of its %zu bytes\n", vbn, present, bucket_size);
        return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + present);
    }
    const BucketHeader header = decode_data_bucket_header(bucket, copy.entry_format.layout);
    if (verbose_dumps(copy.options)) {
        print_bucket_line(vbn, header, console);
    }
    const std::size_t freespace = header.freespace;
    if (freespace > bucket_size) {
        message(console, "bucket VBN %u: freespace 0x%04zx lies beyond the %zu-byte bucket\n", vbn, freespace,
                bucket_size);
        return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn));
    }
    if (freespace > present) {
        message(console, "bucket VBN %u: the file ends after %zu of its %zu bytes\n", vbn, present, bucket_size);
        return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + present);
    }

    // Entries lie from the header up to freespace; a freespace below the
    // header leaves the bucket empty.
    EntryWalk walk = walk_entries(copy.entry_format, bucket, freespace);
    Entry entry;
    while (next_entry(walk, entry)) {
        if (entry.head_read && verbose_dumps(copy.options)) {
            print_entry_line(entry, copy.entry_format, present - entry.offset, console);
        }
        if (entry.kind == EntryKind::kDamaged) {
            message(console, "%s\n", describe_entry_fault(entry, vbn, freespace).c_str());
            return end_copy(copy.outcome, CopyResult::kDamaged, vbn_offset(vbn) + entry.offset);
        }
        if (entry.kind == EntryKind::kLive && !copy_live_entry(copy, vbn, bucket, entry, freespace)) {
            return false;
        }
    }
    *nxtbkt = header.nxtbkt;
    return true;
}

// The live records of the ring from ldvbn, walked without a word: up to a
// bucket met twice, one that is not in the file or does not parse, or a
// nxtbkt of 0. Each bucket is read alone, into the run buffer of the copy,
// which holds nothing yet.
std::uint64_t live_records_in_ring(IndexedCopy& copy, std::uint32_t ldvbn) {
    std::vector<bool> visited;
    std::uint64_t live = 0;
    std::uint32_t vbn = ldvbn;
    do {
        std::size_t present = 0;
        if ((vbn < visited.size() && visited[vbn]) ||
            !read_full_at(copy.input_fd, copy.run.buffer.data, copy.bucket_size, vbn_offset(vbn), &present) ||
            present < copy.bucket_size) {
            break;
        }
        const unsigned char* bucket = copy.run.buffer.data;
        const BucketHeader header = decode_data_bucket_header(bucket, copy.entry_format.layout);
        if (header.freespace > copy.bucket_size) {
            break;
        }
        EntryWalk walk = walk_entries(copy.entry_format, bucket, header.freespace);
        Entry entry;
        bool parsed = true;
        std::uint64_t in_bucket = 0;
        while (parsed && next_entry(walk, entry)) {
            parsed = entry.kind != EntryKind::kDamaged;
            in_bucket += entry.kind == EntryKind::kLive ? 1 : 0;
        }
        if (!parsed) {
            break;
        }
        live += in_bucket;
        if (vbn >= visited.size()) {
            visited.resize(static_cast<std::size_t>(vbn) + 1);
        }
        visited[vbn] = true;
        vbn = header.nxtbkt;
    } while (vbn != 0 && vbn != ldvbn);
    return live;
}

// Walks the ring of key 0 and writes its records; false after a failure,
// which it has reported and marked in the outcome.
bool copy_ring(int input_fd, const FileAttributes& attributes, const RunOptions& options, Console& console,
               CopyOutcome& outcome) {
    const std::uint8_t rfm = rfm_of(attributes);
    if (rfm != kRfmVariable && rfm != kRfmFixed) {
        message(console, " - not yet implemented\n");
        return end_copy(outcome, CopyResult::kUnsupported);
    }

    unsigned char vbn1[kBlockSize];
    std::size_t got = 0;
    if (!read_full_at(input_fd, vbn1, sizeof vbn1, 0, &got)) {
        report_positioned_read_error(console, "an indexed file");
        return end_copy(outcome, CopyResult::kInputError);
    }
    if (got < sizeof vbn1) {
        message(console, "VBN 1: the file ends after %zu of its 512 bytes\n", got);
        return end_copy(outcome, CopyResult::kDamaged, got);
    }
    const KeyDescriptor key = decode_key_descriptor(vbn1);
    const Prolog prolog = decode_prolog(vbn1);
    if (verbose_dumps(options)) {
        print_prolog_line(key, prolog, console);
    }
    if (prolog.ver_no != kPrologVersion1 && prolog.ver_no != kPrologVersion2 && prolog.ver_no != kPrologVersion3) {
        message(console, "prolog version %d not supported\n", prolog.ver_no);
        return end_copy(outcome, CopyResult::kUnsupported);
    }
    if (verbose_dumps(options)) {
        std::uint32_t next_vbn = 2;
        dump_key_descriptors(input_fd, vbn1, &next_vbn, console);
        dump_area_descriptors(input_fd, prolog.amax, &next_vbn, console);
    }
    // Only prolog 3 stores the key in front of the record, or compressed.
    const bool key_in_front = prolog.ver_no == kPrologVersion3;
    if (key_in_front && key.segments > kMaxKeySegments) {
        message(console, "key 0: %d segments, more than the %d a key can have\n", key.segments, kMaxKeySegments);
        return end_copy(outcome, CopyResult::kDamaged, kKeySegmentsOffset);
    }
    if (key.datbktsz == 0) {
        message(console, "key 0: data bucket size 0\n");
        return end_copy(outcome, CopyResult::kDamaged, kKeyDatbktszOffset);
    }

    const std::size_t bucket_size = static_cast<std::size_t>(key.datbktsz) * kBlockSize;
    const bool fixed = rfm == kRfmFixed;
    const bool key_compressed = key_in_front && (key.flags & kKeyCompressed) != 0;
    const bool data_compressed = key_in_front && (key.flags & kRecordCompressed) != 0;
    Console* const trace = verbose_traces(options) ? &console : nullptr;
    IndexedCopy copy{input_fd, options, console, outcome};
    copy.trace = trace;
    copy.bucket_size = bucket_size;
    // Records of fixed length carry no rl field unless they are compressed.
    copy.entry_format.length_field = !fixed || key_compressed || data_compressed;
    copy.entry_format.fixed_length = fixed ? lrl_of(attributes) : 0;
    copy.entry_format.layout = entry_layout_of(prolog.ver_no);
    copy.record_length = fixed ? lrl_of(attributes) : 0;
    if (key_in_front) {
        build_copy_array(key, copy.copy_array, trace);
    } else {
        build_whole_record_copy_array(copy.copy_array);
    }
    copy.in_user_order = copy_array_in_user_order(copy.copy_array);
    copy.minimum_length = copy_array_minimum_length(copy.copy_array);
    copy.shortest_record = std::max(copy.record_length, static_cast<std::size_t>(copy.minimum_length));
    copy.longest_record = fixed                   ? copy.record_length
                          : options.length_prefix ? kLargestPrefixedRecord
                                                  : static_cast<std::size_t>(-1);
    copy.expansion.key_compressed = key_compressed;
    copy.expansion.data_compressed = data_compressed;
    copy.expansion.keysz = key.keysz;
    copy.expanded = key_compressed || data_compressed;
    copy.expanded_in_place = copy.expanded && copy.in_user_order && trace == nullptr;

    copy.run.capacity = std::max(kLargestRead / bucket_size, std::size_t{1}) * bucket_size;
    copy.run.buffer = allocate_read_buffer(copy.run.capacity);
    // A file whose index was never initialised holds no record, whatever
    // its ldvbn names; records its data buckets hold nonetheless are
    // counted, and left.
    if ((key.flags & kKeyInitIdx) != 0) {
        const std::uint64_t left = key.ldvbn == 0 ? 0 : live_records_in_ring(copy, key.ldvbn);
        if (left != 0) {
            message(console,
                    "-w-idxinit, key 0 is flagged as never initialised, yet its data buckets from VBN %u hold %llu "
                    "records: not copied\n",
                    key.ldvbn, static_cast<unsigned long long>(left));
            outcome.data_left_behind = true;
        }
        print_records_copied(options, console, outcome.records);
        return true;
    }
    if (key.ldvbn == 0) {
        message(console, "key 0: ldvbn 0 names no data bucket\n");
        return end_copy(outcome, CopyResult::kDamaged, kKeyLdvbnOffset);
    }

    // Buckets read so far, by VBN: a ring that comes back to any bucket but
    // the first would never end. Only VBNs inside the file are ever marked.
    std::vector<bool> visited;
    std::uint32_t vbn = key.ldvbn;
    do {
        if (vbn < visited.size() && visited[vbn]) {
            message(console, "bucket VBN %u is reached a second time: the ring does not lead back to ldvbn %u\n", vbn,
                    key.ldvbn);
            return end_copy(outcome, CopyResult::kDamaged, vbn_offset(vbn));
        }
        std::size_t present = 0;
        const unsigned char* bucket = fetch_bucket(copy, vbn, &present);
        std::uint32_t nxtbkt = 0;
        if (bucket == nullptr || !copy_indexed_bucket(copy, vbn, bucket, present, &nxtbkt)) {
            return false;
        }
        if (vbn >= visited.size()) {
            visited.resize(static_cast<std::size_t>(vbn) + 1);
        }
        visited[vbn] = true;
        if (nxtbkt == 0) {
            message(console, "bucket VBN %u: nxtbkt 0 names no bucket\n", vbn);
            return end_copy(outcome, CopyResult::kDamaged, vbn_offset(vbn) + kBucketNxtbktOffset);
        }
        vbn = nxtbkt;
    } while (vbn != key.ldvbn);

    print_records_copied(options, console, outcome.records);
    return true;
}

}  // namespace

CopyOutcome copy_indexed(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                         Console& console) {
    CopyOutcome outcome;
    const bool complete = copy_ring(input_fd, attributes, options, console, outcome);
    return settle_copy_outcome(complete, outcome, console);
}
