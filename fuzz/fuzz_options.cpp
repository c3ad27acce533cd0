// The option scanner, and the reading of verbose levels, on any command
// line: the input's NUL bytes separate the words.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/option_scanner.h"
#include "platform/console.h"
#include "platform/scan_integer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"unrms"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);

    Console console;
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    console_open(console, sink, sink, 4096);
    OptionScanner scanner;
    // Every call consumes a letter or a word, so the scan ends within the
    // command line's length; the bound turns a regression into a finding.
    const std::size_t limit = size + 2;
    for (std::size_t calls = 0; calls <= limit; ++calls) {
        int letter = next_option(scanner, argc, argv.data(), "a:ilnprv::", console);
        if (letter == kEndOfOptions || letter == kOptionError) {
            break;
        }
        if (calls == limit) {
            __builtin_trap();
        }
        std::int32_t level = 0;
        if (letter == 'v' && scanner.argument != nullptr) {
            scan_int(scanner.argument, &level);
        }
    }
    if (scanner.index < 0 || scanner.index > argc) {
        __builtin_trap();
    }
    ::close(sink);
    return 0;
}
