#include "attributes/attribute_source.h"

#include <memory>
#include <vector>

#include "attributes/attribute_reader.h"
#include "attributes/fdl_reader.h"
#include "platform/console.h"
#include "platform/raw_io.h"
#include "platform/text_stream.h"

bool read_attribute_source(int fd, const char* name, FileAttributes& attributes, Console& console) {
    // The head is read raw: an FDL file off a VMS disk is a chain of length
    // words, which the text reading of assignments (it drops carriage
    // returns, stops at Ctrl-Z) would garble.
    // Memory the read does not reach is never touched.
    const auto head = std::make_unique_for_overwrite<unsigned char[]>(kLargestFdl + 1);
    std::size_t got = 0;
    if (!read_full(fd, head.get(), kLargestFdl + 1, &got)) {
        report_system_error(console, name);
        return false;
    }
    if (is_fdl_source(head.get(), got)) {
        if (got > kLargestFdl) {
            message(console, "-e-fdlbig, %s: an FDL description of more than %zu bytes\n", name, kLargestFdl);
            return false;
        }
        return read_fdl(head.get(), got, attributes, console);
    }
    TextStream stream;
    text_stream_attach(stream, fd, std::vector<unsigned char>(head.get(), head.get() + got));
    return read_attributes(stream, name, attributes, console);
}
