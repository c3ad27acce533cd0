#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "captured_console.h"
#include "driver/option_scanner.h"

namespace {

// One scan of a command line, written as the sequence of results: a letter
// with its argument in brackets ("a[file]"), "?" for an error, and "end@N"
// for the end of the options with the index of the first operand.
std::string scan(const std::vector<std::string>& words, std::string* errors = nullptr) {
    std::vector<char*> argv;
    std::string program = "unrms";
    argv.push_back(program.data());
    std::vector<std::string> copies = words;
    for (std::string& word : copies) argv.push_back(word.data());
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);

    CapturedConsole captured;
    OptionScanner scanner;
    std::string trace;
    for (int calls = 0; calls < 20; ++calls) {
        int result = next_option(scanner, argc, argv.data(), "a:ilnprv::", captured.console());
        if (!trace.empty()) trace += " ";
        if (result == kEndOfOptions) {
            trace += "end@" + std::to_string(scanner.index);
            break;
        }
        if (result == kOptionError) {
            trace += "?";
            break;
        }
        trace += static_cast<char>(result);
        if (scanner.argument != nullptr) trace += std::string("[") + scanner.argument + "]";
    }
    if (errors != nullptr) *errors = captured.err();
    return trace;
}

struct ScanCase {
    std::vector<std::string> words;
    const char* trace;
};

class OptionScannerTest : public testing::TestWithParam<ScanCase> {};

TEST_P(OptionScannerTest, ScansInOrder) {
    EXPECT_EQ(scan(GetParam().words), GetParam().trace);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, OptionScannerTest,
    testing::Values(
        ScanCase{{"-ilr", "FILE"}, "i l r end@2"},
        ScanCase{{"-afile"}, "a[file] end@2"},
        ScanCase{{"-a", "file"}, "a[file] end@3"},
        ScanCase{{"-a", "-"}, "a[-] end@3"},
        ScanCase{{"-a", "-i"}, "a[-i] end@3"},
        ScanCase{{"-ia", "attr"}, "i a[attr] end@3"},
        ScanCase{{"-ai"}, "a[i] end@2"},
        ScanCase{{"-v"}, "v end@2"},
        ScanCase{{"-v2"}, "v[2] end@2"},
        ScanCase{{"-v", "2"}, "v end@2"},
        ScanCase{{"-vi"}, "v[i] end@2"},
        ScanCase{{"--", "-i"}, "end@2"},
        ScanCase{{"--help", "FILE"}, "end@2"},
        ScanCase{{"-", "FILE"}, "end@2"},
        ScanCase{{"FILE", "-i"}, "end@1"},
        ScanCase{{"-x"}, "?"},
        ScanCase{{"-:"}, "?"},
        ScanCase{{"-i", "-a"}, "i ?"},
        ScanCase{{""}, "end@1"},
        ScanCase{{"-il", "-x"}, "i l ?"},
        ScanCase{{}, "end@1"}));

TEST(OptionScannerErrors, ReportDoesNotNameTheLetter) {
    std::string errors;
    scan({"-x"}, &errors);
    EXPECT_EQ(errors, "get command line option: Invalid argument\n");
}

}  // namespace
