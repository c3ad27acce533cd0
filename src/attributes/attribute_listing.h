// The attribute listing: the settled attributes as one line in the
// vocabulary of the assignments, e.g. "org=seq rfm=var rat=cr lrl=28\n".
#pragma once

#include <string>

#include "attributes/file_attributes.h"

struct Console;

std::string attribute_listing(const FileAttributes& attributes);

void list_attributes(const FileAttributes& attributes, Console& console);
