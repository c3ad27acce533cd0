// The attribute reader and the consistency rules, on any text.
#include <fcntl.h>
#include <unistd.h>

#include <string_view>

#include "attributes/attribute_listing.h"
#include "attributes/attribute_reader.h"
#include "platform/console.h"
#include "platform/text_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Console console;
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    console_open(console, sink, sink, 4096);
    TextStream stream;
    text_stream_from_text(stream, std::string_view(reinterpret_cast<const char*>(data), size));
    FileAttributes attributes;
    if (read_attributes(stream, "fuzz", attributes, console)) {
        list_attributes(attributes, console);
    }
    ::close(sink);
    return 0;
}
