// Sequential files: the dispatcher and what its record readers share.
#pragma once

#include <cstdint>

#include "attributes/copy_outcome.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"
#include "formats/blocks.h"
#include "formats/sequential_layout.h"
#include "platform/console.h"
#include "platform/forward_reader.h"
#include "platform/little_endian.h"

// The state of one reader run over the input.
struct SequentialCopy {
    ForwardReader input;
    const FileAttributes& attributes;
    const RunOptions& options;
    Console& console;
    CopyOutcome& outcome;
    std::uint64_t& records;  // outcome.records: written so far
};

// Chooses the record reader from rfm, raw and control_prefix, and runs it
// over the input descriptor (at offset 0).
CopyOutcome copy_sequential(int input_fd, const FileAttributes& attributes, const RunOptions& options,
                            Console& console);

// The record readers. Each returns true after a complete copy and false
// after a failure, which it has reported and marked in the outcome.
bool copy_var_records(SequentialCopy& copy);   // var, and vfc with -p
bool copy_vfc_records(SequentialCopy& copy);   // vfc without the control area
bool copy_fix_records(SequentialCopy& copy);
bool copy_raw_var_records(SequentialCopy& copy);  // -r: var and vfc with length words
bool copy_raw_fix_records(SequentialCopy& copy);  // -r: fix records back to back
// stm and stmcr; with -r the bytes unchanged. Memory stays bounded whatever
// the length of a record.
bool copy_stream_records(SequentialCopy& copy);

// --- Rules shared by the readers ---

// The record buffer size: lrl when it lies in 1..32767, else 32767.
std::uint16_t record_buffer_size(const FileAttributes& attributes);

// The longest stored record a length word may announce: rsize, plus the
// fixed control area for vfc records, whose lrl counts the data alone.
std::uint32_t longest_stored_record(const FileAttributes& attributes);

// Called where the next record would start: reports a read error that ended
// the input, if any (an input error). True when the file simply ended.
bool check_input_error(SequentialCopy& copy);

// The helpers called once or more per record are inline: a call into another
// file for each would cost as much as the copy of a short record.

enum class LengthWord {
    kRead,
    kEndOfFile,  // fewer than 2 bytes left
    kFailed,     // a read error, reported
};

// Reads the next length word into *word.
inline LengthWord read_length_word(SequentialCopy& copy, std::uint16_t* word) {
    std::size_t got = 0;
    const unsigned char* bytes = reader_take(copy.input, kLengthWordSize, &got);
    if (got < kLengthWordSize) {
        return check_input_error(copy) ? LengthWord::kEndOfFile : LengthWord::kFailed;
    }
    *word = le16(bytes);
    return LengthWord::kRead;
}

// A length word that announces more than the record buffer holds: damage
// at the record. Returns false.
bool report_overlong_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint16_t length);

// Discards the bytes up to the next block boundary.
void skip_to_block_end(SequentialCopy& copy);

// Whether fixed-length records keep inside their blocks: with rat=blk RMS
// starts a record that does not fit whole into the rest of a block at the
// next one; without it records are packed end to end and cross blocks.
inline bool fixed_records_keep_to_blocks(const FileAttributes& attributes) {
    return (rat_of(attributes) & kRatNoSpan) != 0;
}

// Fixed-length records with rat=blk: the next record starts in the next
// block when it does not fit whole into the rest of the current one.
// Without rat=blk nothing moves.
void place_next_fixed_record(SequentialCopy& copy, std::uint16_t record_length);

// Takes a record's stored bytes together with the pad byte that follows an
// odd length; the file may lack that pad byte at its very end. *got counts
// the record's bytes that arrived, less than length only when the file ends
// or a read fails inside the record.
inline const unsigned char* take_record(SequentialCopy& copy, std::uint32_t length, std::size_t* got) {
    const unsigned char* data = reader_take(copy.input, padded_length(length), got);
    if (*got > length) {
        *got = length;
    }
    return data;
}

// Writes a record's bytes and the line end of the newline mode; false once
// output failed.
inline bool write_record(SequentialCopy& copy, const unsigned char* data, std::size_t size) {
    return write_output_record(copy.console, data, size, line_end_after_record(copy.options));
}

// How a reader of length-word records writes each record.
struct VarFraming {
    std::uint32_t longest;  // the longest stored record (longest_stored_record)
    std::uint32_t control;  // bytes at the front of a non-empty record that are not written (vfc)
    bool length_word;       // raw mode: each record is written after its length word
    bool line_end;          // a line end after each record
};

// The fast paths of the readers, which call them before each record they
// read themselves. Each copies the records that lie whole in the input
// buffer and fit into the output buffer, and stops before anything else (a
// record that crosses the end of the buffer, an end-of-block marker, a
// length the reader must refuse, a failed output), which the reader's own
// loop then handles. Their cursors are locals that stay in registers; kept
// in the structures, every record would wait for the stores of the one
// before it, since a record's copy may alias any of them.
void copy_buffered_var_records(SequentialCopy& copy, const VarFraming& framing);

// The same for fixed-length records of reclen bytes; the record at the
// current position is placed (place_next_fixed_record) and so is the next.
// Two loops: the one for records packed end to end never looks at blocks.
void copy_buffered_fix_records(SequentialCopy& copy, std::uint16_t reclen, bool line_end);

// "N records copied" at verbose levels other than 0; returns true.
bool finish_copy(SequentialCopy& copy);

// A record whose bytes did not all arrive: reports the read error, or the end
// of the file inside the record (damage at the record). Returns false.
bool report_short_record(SequentialCopy& copy, std::uint64_t record_offset, std::uint32_t length);
