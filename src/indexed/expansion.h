// Compressed indexed records: keys in the compk form (a leading part shared
// with the previous key, trailing repeats left out) and data in the compd
// form (runs of a repeated byte cut to one byte and a count). Both expand
// into the stored-record form: the whole key, then the other bytes.
//
// expand_record_into writes a record wherever the caller has room for it
// (the output buffer), and says so when the room is too small;
// expand_record writes it into a record buffer of its own that grows.
//
// The expansion prints only its -v3 traces, to the console given as trace
// (none when null); a form it refuses is reported in fault, for the caller
// to print or to weigh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Console;

struct Expansion {
    bool key_compressed = false;
    bool data_compressed = false;
    std::size_t keysz = 0;
    // The key last expanded, in its first keysz bytes (the buffer has room
    // for copies in strides behind them); the next compk key takes its
    // shared bytes from it, across bucket boundaries.
    std::vector<unsigned char> key;
    bool have_key = false;
    // The stored record expand_record built: its first `length` bytes. The
    // storage is reused for every record and only grows.
    std::vector<unsigned char> record;
    std::size_t length = 0;
};

// Where the entry lies, for the reports.
struct EntryPlace {
    std::uint32_t vbn;
    std::size_t offset;
};

enum class ExpansionResult {
    kExpanded,
    kNoRoom,   // the record does not fit the room given
    kRefused,  // fault says why
};

// Expands the body of a live entry (rl bytes at body, inside the bucket's
// entries, which end readable bytes from body: readable >= rl) into
// [out, out + room), without traces; *length is the stored record's length.
// kRefused, with the reason in fault (no line end), for a form that reaches
// outside the body or the key. kNoRoom when the record does not fit: the
// key buffer then holds the entry's key, and expanding the same body again
// gives the same record.
ExpansionResult expand_record_into(Expansion& expansion, const unsigned char* body, std::size_t rl,
                                   std::size_t readable, EntryPlace place, std::string& fault, unsigned char* out,
                                   std::size_t room, std::size_t* length);

// Expands the body into expansion.record, as large as it must be, printing
// the compk and compd traces; its length goes to *length and
// expansion.length. False, with the reason in fault, as above.
bool expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                   EntryPlace place, Console* trace, std::string& fault, std::size_t* length);
