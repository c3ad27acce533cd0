#include "driver/driver.h"

#include <vector>

#include "attributes/attribute_listing.h"
#include "attributes/attribute_reader.h"
#include "attributes/file_attributes.h"
#include "driver/option_scanner.h"
#include "driver/run_options.h"
#include "indexed/indexed_copy.h"
#include "platform/console.h"
#include "platform/raw_io.h"
#include "platform/scan_integer.h"
#include "platform/text_stream.h"
#include "sequential/relative_copy.h"
#include "sequential/sequential_copy.h"

namespace {

constexpr const char* kOptionLetters = "a:ilnprv::";
constexpr std::size_t kTypeChunkSize = 1 << 16;

const char* const kUsageLines[] = {
    "     Copy records from an OpenVMS/ODS5 file according to its RMS structure,\n",
    "     determined by attributes, which are read from an attribute file\n",
    "          - : stdin contains assignments ...\n",
    "          attrfile : file contains assignments ...\n",
    "          ... for attributes org, rfm, rat, lrl, bks and fsz, if applicable\n",
    "          org keywords: seq, rel, idx\n",
    "          rfm keywords: fix, var, vfc, stm, stmlf, stmcr, udf\n",
    "          rat keywords: none, ftn, cr, prn, blk, msb (multiple assignments\n",
    "          possible)\n",
    "          lrl, bks, fsz values: 0..32767\n",
    "          example: org=seq rfm=var rat=cr lrl=28\n",
    "\nOPTIONS\n",
    "  -i      insert '\\n' after each record\n",
    "          (useful for rfm=var and rat=none)\n",
    "  -l      prefix each record with a two byte length\n",
    "          (useful for org=idx with variable length records - after\n",
    "          decompressing - and binary data, possibly having '\\n' as data)\n",
    "  -n      do not insert '\\n' after each record\n",
    "          (useful for rfm=fix and rat=cr)\n",
    "  -p      include/prefix the fixed control field (rfm=vfc, only)\n",
    "  -r      raw mode, preserve internal structure, but remove gaps\n",
    "          from record word alignment and rat=blk\n",
    "          (useful for org=seq rfm=var and binary data, possibly having '\\n'\n",
    "          as data)\n",
    "  -vL     verbose, level L=1...\n",
    "\nLimitations in current version\n",
    "  -       only popular RMS formats implemented\n",
    "  -       -l only implemented for index sequential files\n",
    "  -       -p only implemented for sequential files\n",
    "  -       -r only implemented for sequential files\n",
};

void print_version(const char* name, Console& console) {
    message(console, "%s, version %s\n", name, kVersion);
}

// Acts on one option of the scan. Returns -1 to go on, or the exit status.
int apply_option(int letter, const OptionScanner& scanner, const char* name, RunOptions& options,
                 TextStream& attribute_stream, Console& console) {
    switch (letter) {
        case 'a': {
            const char* source = scanner.argument;
            text_stream_close(attribute_stream);
            bool is_stdin = source[0] == '-' && source[1] == '\0';
            int opened = is_stdin ? text_stream_open_stdin(attribute_stream)
                                  : text_stream_open(attribute_stream, source);
            if (opened != 0) {
                report_system_error(console, is_stdin ? "stdin" : source);
                return 1;
            }
            options.attribute_source = &attribute_stream;
            return -1;
        }
        case 'i':
            options.newline_mode = kNewlineAfterRecord;
            return -1;
        case 'l':
            options.length_prefix = 1;
            return -1;
        case 'n':
            options.newline_mode = kNewlineNone;
            return -1;
        case 'p':
            options.control_prefix = 1;
            return -1;
        case 'r':
            options.raw = 1;
            return -1;
        case 'v':
            if (scanner.argument == nullptr) {
                options.verbose = 1;
            } else {
                scan_int(scanner.argument, &options.verbose);
            }
            return -1;
        default:
            return print_usage(name, console);
    }
}

// Obtains the attributes: from the attribute source, or, without one, the
// all-zero record after checking that the input is a regular file.
// Returns 0, or 1 after the failure has been reported.
int obtain_attributes(const RunOptions& options, int input_fd, const char* operand,
                      FileAttributes& attributes, Console& console) {
    if (options.attribute_source != nullptr) {
        return read_attributes(*options.attribute_source, attributes, console) == 1 ? 0 : 1;
    }
    int regular = is_regular_file(input_fd);
    if (regular < 0) {
        report_system_error(console, "fstat failed");
        return 1;
    }
    if (regular == 0) {
        message(console, "%s: not a regular ODS5 file\n", operand);
        return 1;
    }
    return 0;
}

int dispatch(int input_fd, const char* operand, const FileAttributes& attributes,
             RunOptions& options, Console& console) {
    int status;
    switch (org_of(attributes)) {
        case kOrgSequential:
            if (rfm_of(attributes) == kRfmUndefined || rfm_of(attributes) == kRfmStreamLf) {
                close_descriptor(input_fd);
                return type_file(operand, console);
            }
            status = copy_sequential(input_fd, attributes, options, console);
            break;
        case kOrgRelative:
            status = copy_relative(input_fd, attributes, options, console);
            break;
        case kOrgIndexed:
            status = copy_indexed(input_fd, attributes, options, console);
            break;
        default:
            message(console, " - not yet implemented\n");
            status = 1;
            break;
    }
    close_descriptor(input_fd);
    return status;
}

int run(int argc, char* const* argv, Console& console) {
    const char* name = program_name(argc > 0 ? argv[0] : "unrms");
    if (argc <= 1) {
        return print_usage(name, console);
    }

    RunOptions options;
    TextStream attribute_stream;
    OptionScanner scanner;
    for (;;) {
        int letter = next_option(scanner, argc, argv, kOptionLetters, console);
        if (letter == kEndOfOptions) {
            break;
        }
        int status = apply_option(letter, scanner, name, options, attribute_stream, console);
        if (status >= 0) {
            return status;
        }
    }

    if (verbose_any(options)) {
        print_version(name, console);
    }
    if (scanner.index >= argc) {
        return print_usage(name, console);
    }
    const char* operand = argv[scanner.index];
    if (argc - scanner.index > 1) {
        message(console, "copy from %s, other filenames ignored\n", operand);
    }

    int input_fd = open_raw_input(operand);
    if (input_fd < 0) {
        report_system_error(console, operand);
        return 1;
    }
    FileAttributes attributes;
    if (obtain_attributes(options, input_fd, operand, attributes, console) != 0) {
        return 1;
    }
    if (verbose_any(options)) {
        list_attributes(attributes, console);
    }
    if ((rat_of(attributes) & (kRatFortran | kRatPrint)) != 0 &&
        options.newline_mode == kNewlineUndecided) {
        options.newline_mode = kNewlineAfterRecord;
    }
    return dispatch(input_fd, operand, attributes, options, console);
}

}  // namespace

const char* program_name(const char* argv0) {
    const char* name = argv0;
    for (const char* p = argv0; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

int print_usage(const char* name, Console& console) {
    print_version(name, console);
    message(console, "usage: %s -a - | ATTRFILE [OPTION]... FILE\n", name);
    for (const char* line : kUsageLines) {
        message(console, "%s", line);
    }
    return 1;
}

int type_file(const char* path, Console& console) {
    int fd = open_raw_input(path);
    if (fd < 0) {
        report_system_error(console, path);
        return 1;
    }
    std::vector<unsigned char> chunk(kTypeChunkSize);
    int status = 0;
    for (;;) {
        ssize_t got = read_full(fd, chunk.data(), chunk.size());
        if (got < 0) {
            report_system_error(console, path);
            status = 1;
            break;
        }
        if (got == 0) {
            break;
        }
        if (write_output(console, chunk.data(), static_cast<std::size_t>(got)) != 0) {
            status = 1;
            break;
        }
    }
    close_descriptor(fd);
    return status;
}

int run_unrms(int argc, char* const* argv, Console& console) {
    int status = run(argc, argv, console);
    if (flush_output(console) != 0) {
        status = 1;
    }
    return status;
}
