// Verbose dumps of the key descriptor chain and the area descriptors. They
// are diagnostics: a chain that is damaged draws one message and ends the
// dump, never the copy.
#pragma once

#include <cstdint>
#include <string>

struct Console;

// The names of the set key flags in bit order, separated by commas; empty
// when no named flag is set.
std::string key_flag_names(std::uint8_t flags);

// The name of a key data type code, or nullptr for a code without one.
const char* key_datatype_name(std::uint8_t code);

// Prints the key line of every descriptor of the chain that starts with key
// 0 in vbn1. Each move of the chain to another block reads the block behind
// the last one read: *next_vbn, which then advances.
void dump_key_descriptors(int input_fd, const unsigned char* vbn1, std::uint32_t* next_vbn, Console& console);

// Prints count area descriptors, eight to a block, from the blocks that
// start at *next_vbn.
void dump_area_descriptors(int input_fd, int count, std::uint32_t* next_vbn, Console& console);

// The key line of the descriptor at p, key number key_number.
void print_key_line(const unsigned char* p, int key_number, Console& console);

// The area line of the descriptor at p, area number i.
void print_area_line(const unsigned char* p, int i, Console& console);
