// The FDL reader on any bytes, taken as text or as a chain of records; an
// accepted description must survive being written out and read back.
#include <fcntl.h>
#include <unistd.h>

#include "attributes/fdl_reader.h"
#include "attributes/fdl_writer.h"
#include "platform/console.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Console console;
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    console_open(console, sink, sink, 4096);
    is_fdl_source(data, size);
    FileAttributes attributes;
    if (read_fdl(data, size, attributes, console)) {
        const std::string text = fdl_description(attributes);
        FileAttributes again;
        if (!read_fdl(reinterpret_cast<const unsigned char*>(text.data()), text.size(), again, console) ||
            again.bytes != attributes.bytes) {
            __builtin_trap();
        }
    }
    ::close(sink);
    return 0;
}
