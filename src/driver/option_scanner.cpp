#include "driver/option_scanner.h"

#include <cerrno>
#include <cstring>

#include "platform/console.h"

namespace {

int end_of_options(OptionScanner& scanner) {
    scanner.cluster = nullptr;
    scanner.argument = nullptr;
    return kEndOfOptions;
}

int option_error(OptionScanner& scanner, Console& console) {
    scanner.argument = nullptr;
    errno = EINVAL;
    report_system_error(console, "get command line option");
    return kOptionError;
}

}  // namespace

int next_option(OptionScanner& scanner, int argc, char* const* argv, const char* letters, Console& console,
                std::span<const LongOption> long_options) {
    if (scanner.index >= argc) {
        return end_of_options(scanner);
    }
    if (scanner.cluster == nullptr) {
        const char* word = argv[scanner.index];
        if (word == nullptr || word[0] != '-') {
            return end_of_options(scanner);
        }
        if (word[1] == '-') {
            ++scanner.index;
            for (const LongOption& option : long_options) {
                if (std::strcmp(word, option.word) == 0) {
                    scanner.argument = nullptr;
                    return option.code;
                }
            }
            return end_of_options(scanner);
        }
        scanner.cluster = word + 1;
    }

    const char letter = *scanner.cluster++;
    if (letter == '\0') {
        ++scanner.index;
        return end_of_options(scanner);
    }
    const char* declared = letter == ':' ? nullptr : std::strchr(letters, letter);
    if (declared == nullptr) {
        return option_error(scanner, console);
    }

    if (declared[1] == ':' && declared[2] == ':') {
        scanner.argument = *scanner.cluster != '\0' ? scanner.cluster : nullptr;
        ++scanner.index;
        scanner.cluster = nullptr;
        return static_cast<unsigned char>(letter);
    }
    if (declared[1] == ':') {
        ++scanner.index;
        if (*scanner.cluster != '\0') {
            scanner.argument = scanner.cluster;
        } else if (scanner.index < argc) {
            scanner.argument = argv[scanner.index++];
        } else {
            return option_error(scanner, console);
        }
        scanner.cluster = nullptr;
        return static_cast<unsigned char>(letter);
    }

    scanner.argument = nullptr;
    if (*scanner.cluster == '\0') {
        ++scanner.index;
        scanner.cluster = nullptr;
    }
    return static_cast<unsigned char>(letter);
}
