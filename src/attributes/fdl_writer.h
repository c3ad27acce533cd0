// The record attributes as an FDL description, laid out as VMS's ANALYZE
// /RMS_FILE/FDL lays one out: an IDENT line, then a FILE and a RECORD
// section, attributes in alphabetical order, each on a tab-indented line
// with its name in a column of 24, a blank line between sections.
#pragma once

#include <string>

#include "attributes/file_attributes.h"

// FILE holds ORGANIZATION and, for relative files, BUCKET_SIZE; RECORD holds
// BLOCK_SPAN, CARRIAGE_CONTROL, FORMAT, SIZE (lrl) and, for vfc records,
// CONTROL_FIELD_SIZE. read_fdl reads the text back to the same attributes
// for every record the consistency rules accept whose bks is 0 unless the
// file is relative and whose fsz is 0 unless the records are vfc, save
// rat=msb, which FDL cannot state and which is left out. Codes past the FDL
// vocabulary (a record built by hand) are written as their numbers.
std::string fdl_description(const FileAttributes& attributes);
