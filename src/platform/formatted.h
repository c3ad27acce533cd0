// Text formatted as by printf, for messages that are built before they are
// printed (or kept: the probe's evidence, the reports of the walkers).
#pragma once

#include <string>

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
