// Compressed indexed records: keys in the compk form (a leading part shared
// with the previous key, trailing repeats left out) and data in the compd
// form (runs of a repeated byte cut to one byte and a count). Both expand
// into the stored-record form: the whole key, then the other bytes.
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
    // The key last expanded; the next compk key takes its shared bytes from
    // it, across bucket boundaries.
    std::vector<unsigned char> key;
    bool have_key = false;
    // The stored record being built: its first `length` bytes. The storage
    // is reused for every record and only grows.
    std::vector<unsigned char> record;
    std::size_t length = 0;
};

// Where the entry lies, for the reports.
struct EntryPlace {
    std::uint32_t vbn;
    std::size_t offset;
};

// Expands the body of a live entry: rl bytes at body, inside the bucket's
// entries, which end readable bytes from body (readable >= rl). Leaves the
// stored record in expansion.record and its length in *length and
// expansion.length. False, with the reason in fault (no line end), for a
// form that reaches outside the body or the key.
bool expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                   EntryPlace place, Console* trace, std::string& fault, std::size_t* length);

// Expands the compk form at form (readable bytes of it) into the key buffer
// and to the front of expansion.record, which holds at least keysz bytes;
// *taken is the bytes the form takes.
bool expand_key(Expansion& expansion, const unsigned char* form, std::size_t readable, EntryPlace place,
                Console* trace, std::string& fault, std::size_t* taken);

// Writes the expansion of the n bytes of compd segments at form into
// expansion.record behind its first keysz bytes (the key) and sets
// expansion.length. False for a segment that reaches past the n bytes or
// has no byte to repeat.
bool expand_data(Expansion& expansion, const unsigned char* form, std::size_t n, EntryPlace place, Console* trace,
                 std::string& fault);
