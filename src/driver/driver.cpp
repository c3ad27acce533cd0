#include "driver/driver.h"

#include "attributes/attribute_listing.h"
#include "attributes/attribute_source.h"
#include "attributes/file_attributes.h"
#include "attributes/run_options.h"
#include "copy/copy_file.h"
#include "driver/option_scanner.h"
#include "platform/console.h"
#include "platform/raw_io.h"
#include "platform/scan_integer.h"
#include "unrms_version.h"

namespace {

constexpr const char* kOptionLetters = "a:ilnprv::";

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
    "  -       -p only implemented for sequential and relative files\n",
    "  -       -r only implemented for sequential files\n",
};

void print_version(const char* name, Console& console) {
    message(console, "%s, version %s\n", name, kUnrmsVersion);
}

// The attribute source named by -a: a file, or standard input for "-".
struct AttributeSource {
    int fd = -1;
    const char* name = nullptr;  // as system error reports name it; null without -a
};

// Closes the attribute file (standard input stays open). The descriptors
// are closed on every path: the tests run the program thousands of times
// within one process.
void close_source(AttributeSource& source) {
    if (source.fd > 0) {
        close_descriptor(source.fd);
    }
    source.fd = -1;
}

// The scan goes on after an option, or the run ends with an exit status.
enum class Scan { kGoOn, kEnd };

// Acts on one option of the scan; *status is the exit status when the run
// ends.
Scan apply_option(int letter, const OptionScanner& scanner, const char* name, RunOptions& options,
                  AttributeSource& source, Console& console, int* status) {
    switch (letter) {
        case 'a': {
            const char* path = scanner.argument;
            const bool is_stdin = path[0] == '-' && path[1] == '\0';
            close_source(source);
            source.name = is_stdin ? "stdin" : path;
            const bool opened = is_stdin ? open_standard_input(&source.fd) : open_raw_input(path, &source.fd);
            if (!opened) {
                report_system_error(console, source.name);
                *status = 1;
                return Scan::kEnd;
            }
            return Scan::kGoOn;
        }
        case 'i':
            options.newline_mode = NewlineMode::kAfterRecord;
            return Scan::kGoOn;
        case 'l':
            options.length_prefix = true;
            return Scan::kGoOn;
        case 'n':
            options.newline_mode = NewlineMode::kNone;
            return Scan::kGoOn;
        case 'p':
            options.control_prefix = true;
            return Scan::kGoOn;
        case 'r':
            options.raw = true;
            return Scan::kGoOn;
        case 'v':
            if (scanner.argument == nullptr) {
                options.verbose = 1;
            } else {
                scan_int(scanner.argument, &options.verbose);
            }
            return Scan::kGoOn;
        default:
            *status = print_usage(name, console);
            return Scan::kEnd;
    }
}

// Obtains the attributes: from the attribute source, or, without one, the
// all-zero record after checking that the input is a regular file. False
// after the failure has been reported.
bool obtain_attributes(AttributeSource& source, int input_fd, const char* operand, FileAttributes& attributes,
                       Console& console) {
    if (source.name != nullptr) {
        return read_attribute_source(source.fd, source.name, attributes, console);
    }
    switch (file_kind(input_fd)) {
        case FileKind::kRegular:
            return true;
        case FileKind::kOther:
            message(console, "%s: not a regular ODS5 file\n", operand);
            return false;
        case FileKind::kFailed:
            break;
    }
    report_system_error(console, "fstat failed");
    return false;
}

int run(int argc, char* const* argv, AttributeSource& source, Console& console) {
    const char* name = program_name(argc > 0 ? argv[0] : "unrms");
    if (argc <= 1) {
        return print_usage(name, console);
    }

    RunOptions options;
    OptionScanner scanner;
    for (;;) {
        int letter = next_option(scanner, argc, argv, kOptionLetters, console);
        if (letter == kEndOfOptions) {
            break;
        }
        int status = 0;
        if (apply_option(letter, scanner, name, options, source, console, &status) == Scan::kEnd) {
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

    int input_fd = -1;
    if (!open_raw_input(operand, &input_fd)) {
        report_system_error(console, operand);
        return 1;
    }
    FileAttributes attributes;
    const bool obtained = obtain_attributes(source, input_fd, operand, attributes, console);
    close_source(source);
    if (!obtained) {
        close_descriptor(input_fd);
        return 1;
    }
    if (verbose_any(options)) {
        list_attributes(attributes, console);
    }
    settle_newline_mode(options, rat_of(attributes));
    const CopyOutcome outcome = copy_file(input_fd, operand, attributes, options, console);
    close_descriptor(input_fd);
    return copy_complete(outcome) ? 0 : 1;
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

int run_unrms(int argc, char* const* argv, Console& console) {
    AttributeSource source;
    int status = run(argc, argv, source, console);
    close_source(source);
    if (!flush_output(console)) {
        status = 1;
    }
    return status;
}
