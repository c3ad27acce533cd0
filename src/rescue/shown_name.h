// File names as the plan (-n) and the messages on standard error show them:
// one line each, whatever bytes the name holds.
#pragma once

#include <string>
#include <string_view>

// The name with every byte that could break or fake a line escaped: a
// backslash as "\\", a tab, line feed or carriage return as "\t", "\n",
// "\r", and any other control character (C1 ones included) or byte that is
// not part of a valid UTF-8 character as "\xNN". Everything else, UTF-8
// letters included, is shown as it is, so the shown form reads back to the
// name unambiguously.
std::string shown_name(std::string_view name);

// Whether every byte of text belongs to a valid UTF-8 character.
bool is_utf8(std::string_view text);
