// Compressed indexed records: keys in the compk form (a leading part shared
// with the previous key, trailing repeats left out) and data in the compd
// form (runs of a repeated byte cut to one byte and a count). Both expand
// into the stored-record form: the whole key, then the other bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Console;
struct RunOptions;

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

// Where the entry lies, for the messages.
struct EntryPlace {
    std::uint32_t vbn;
    std::size_t offset;
};

// Expands the body of a live entry: rl bytes at body, inside the bucket's
// entries, which end readable bytes from body (readable >= rl). Leaves the
// stored record in expansion.record and its length in *length and
// expansion.length. Returns 0, or 1 after reporting a form that reaches
// outside the body or the key.
int expand_record(Expansion& expansion, const unsigned char* body, std::size_t rl, std::size_t readable,
                  EntryPlace place, const RunOptions& options, Console& console, std::size_t* length);

// Expands the compk form at form (readable bytes of it) into the key buffer
// and to the front of expansion.record, which holds at least keysz bytes.
// Returns the bytes the form takes, or -1 after reporting it.
long expand_key(Expansion& expansion, const unsigned char* form, std::size_t readable, EntryPlace place,
                const RunOptions& options, Console& console);

// Writes the expansion of the n bytes of compd segments at form into
// expansion.record behind its first keysz bytes (the key) and sets
// expansion.length. Returns 0, or 1 after reporting a segment that reaches
// past the n bytes or has no byte to repeat.
int expand_data(Expansion& expansion, const unsigned char* form, std::size_t n, EntryPlace place,
                const RunOptions& options, Console& console);
