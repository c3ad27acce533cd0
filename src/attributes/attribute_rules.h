// The consistency rules between attributes, applied once after the last
// assignment: contradictions are refused, ineffective attributes draw a
// warning, and a missing lrl is supplied.
#pragma once

#include "attributes/file_attributes.h"

struct Console;

// True when the record is accepted (lrl possibly filled in); false after
// exactly one error message. Warnings may precede either result.
bool check_attributes(FileAttributes& attributes, Console& console);
