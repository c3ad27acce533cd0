// Sequential stream files (stm: records ended by CR LF; stmcr: by CR),
// built from the records they must yield.
#include <gtest/gtest.h>

#include <algorithm>

#include "captured_console.h"
#include "copy_case.h"
#include "driver/driver.h"
#include "rms_builder.h"

namespace {

using rms::Bytes;
using rms::bytes;
using rms::StreamFormat;

Bytes raw_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string listing(const std::string& attributes) { return kVersionLine + attributes + "\n"; }

const Bytes kThreeStm = rms::stream_file({bytes("abc"), bytes(""), bytes("wxyz")}, StreamFormat::kCrLf);
const Bytes kThreeStmcr = rms::stream_file({bytes("abc"), bytes(""), bytes("wxyz")}, StreamFormat::kCr);

class StreamRecordsTest : public testing::TestWithParam<CopyCase> {};
TEST_P(StreamRecordsTest, CopiesRecords) { expect_copy(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Stm, StreamRecordsTest,
    testing::Values(
        CopyCase{"LineEndsFromCr", kThreeStm, "rfm=stm rat=cr", {"-v"}, "abc\n\nwxyz\n",
                 listing("org=seq rfm=stm rat=cr lrl=0") + "3 records copied\n", 0},
        CopyCase{"NoLineEndsWithoutCr", kThreeStm, "rfm=stm", {}, "abcwxyz", "", 0},
        CopyCase{"ForcedNone", kThreeStm, "rfm=stm rat=cr", {"-n", "-v"}, "abcwxyz",
                 listing("org=seq rfm=stm rat=cr lrl=0") + "forced rat=none\n3 records copied\n", 0},
        CopyCase{"ForcedCr", kThreeStm, "rfm=stm", {"-i"}, "abc\n\nwxyz\n", "", 0},
        // Form feed, vertical tab, a lone LF, a lone CR, a CR before the
        // terminator and an LF behind it are all data.
        CopyCase{"OtherControlBytesAreData", raw_bytes("a\f\vb\r\nx\ny\r\np\rq\r\n\r\r\n\n\r\n"), "rfm=stm rat=cr",
                 {"-v"}, "a\f\vb\nx\ny\np\rq\n\r\n\n\n", listing("org=seq rfm=stm rat=cr lrl=0") + "5 records copied\n",
                 0},
        CopyCase{"LastRecordWithoutTerminator", raw_bytes("abc\r\ndef"), "rfm=stm rat=cr", {"-v"}, "abc\ndef\n",
                 listing("org=seq rfm=stm rat=cr lrl=0") + "2 records copied\n", 0},
        CopyCase{"LoneCrEndsTheFile", raw_bytes("abc\r\nlast\r"), "rfm=stm rat=cr", {}, "abc\nlast\r\n", "", 0},
        CopyCase{"LoneLfEndsTheFile", raw_bytes("abc\r\n\n"), "rfm=stm rat=cr", {}, "abc\n\n\n", "", 0},
        CopyCase{"EmptyFile", {}, "rfm=stm rat=cr", {"-v"}, "",
                 listing("org=seq rfm=stm rat=cr lrl=0") + "0 records copied\n", 0},
        CopyCase{"RawKeepsEveryByte", raw_bytes("abc\r\n\r\nx\ny\rz"), "rfm=stm rat=cr lrl=80", {"-r", "-i", "-v"},
                 "abc\r\n\r\nx\ny\rz",
                 listing("org=seq rfm=stm rat=cr lrl=80") + "forced rat=cr\n3 records copied\n", 0},
        CopyCase{"DumpsAtLevel2", raw_bytes("abc\r\n\r\nwxyz\r\nend"), "rfm=stm rat=cr lrl=80", {"-v2"},
                 "abc\n\nwxyz\nend\n",
                 listing("org=seq rfm=stm rat=cr lrl=80") +
                     "reclen: 3\nreclen: 0\nreclen: 4\nreclen: 3 (no terminator)\n4 records copied\n",
                 0},
        CopyCase{"DumpsWithRaw", raw_bytes("a\r\r\nbc"), "rfm=stm", {"-r", "-v2"}, "a\r\r\nbc",
                 listing("org=seq rfm=stm rat=none lrl=0") + "reclen: 2\nreclen: 2 (no terminator)\n"
                                                              "2 records copied\n",
                 0},
        CopyCase{"RecordsLongerThanLrl", rms::stream_file({Bytes(300, 'x')}, StreamFormat::kCrLf), "rfm=stm lrl=10",
                 {"-i"}, std::string(300, 'x') + "\n", "", 0}),
    copy_case_name);

INSTANTIATE_TEST_SUITE_P(
    Stmcr, StreamRecordsTest,
    testing::Values(
        CopyCase{"LineEndsFromCr", kThreeStmcr, "rfm=stmcr rat=cr", {"-v"}, "abc\n\nwxyz\n",
                 listing("org=seq rfm=stmcr rat=cr lrl=0") + "3 records copied\n", 0},
        CopyCase{"NoLineEndsWithoutCr", kThreeStmcr, "rfm=stmcr", {}, "abcwxyz", "", 0},
        CopyCase{"ForcedNone", kThreeStmcr, "rfm=stmcr rat=cr", {"-n"}, "abcwxyz", "", 0},
        // A CR LF is a record ended by its CR, then the LF begins the next.
        CopyCase{"LfIsData", raw_bytes("a\nb\r\nc\r\n"), "rfm=stmcr rat=cr", {"-v"}, "a\nb\n\nc\n\n\n",
                 listing("org=seq rfm=stmcr rat=cr lrl=0") + "3 records copied\n", 0},
        CopyCase{"LastRecordWithoutTerminator", raw_bytes("abc\rdef"), "rfm=stmcr rat=cr", {}, "abc\ndef\n", "", 0},
        CopyCase{"RawKeepsEveryByte", raw_bytes("abc\r\rx\n"), "rfm=stmcr rat=cr", {"-r", "-v"}, "abc\r\rx\n",
                 listing("org=seq rfm=stmcr rat=cr lrl=0") + "3 records copied\n", 0},
        CopyCase{"DumpsAtLevel2", raw_bytes("abc\r\rx\n"), "rfm=stmcr rat=cr", {"-v2"}, "abc\n\nx\n\n",
                 listing("org=seq rfm=stmcr rat=cr lrl=0") +
                     "reclen: 3\nreclen: 0\nreclen: 2 (no terminator)\n3 records copied\n",
                 0}),
    copy_case_name);

// --- Long files: every way a terminator can meet a boundary ---

struct StreamFile {
    Bytes file;
    std::vector<Bytes> records;
    bool last_terminated = true;
};

// Record i: lengths that put its terminator at every offset within the
// scan's blocks, now and then far longer than a read, holding lone CRs
// (stm only) and LFs: data next to the terminators.
StreamFile long_stream(StreamFormat format, std::size_t count, bool last_terminated) {
    StreamFile stream;
    stream.last_terminated = last_terminated;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = i % 97 == 50 ? 70000 + i : (i * 37) % 211;
        Bytes data(length);
        for (std::size_t j = 0; j < length; ++j) {
            data[j] = static_cast<unsigned char>('!' + (i + j) % 90);
            if ((i + j) % 23 == 0) data[j] = '\n';
            // A CR never stands before an LF inside an stm record.
            if (format == StreamFormat::kCrLf && (i * 3 + j) % 29 == 0 && (j + 1 == length || data[j + 1] != '\n')) {
                data[j] = '\r';
            }
        }
        if (format == StreamFormat::kCrLf) {
            for (std::size_t j = 0; j + 1 < length; ++j) {
                if (data[j] == '\r' && data[j + 1] == '\n') data[j] = '.';
            }
        }
        rms::add_stream_record(stream.file, data, format);
        stream.records.push_back(data);
    }
    if (!last_terminated) {
        stream.file.resize(stream.file.size() - (format == StreamFormat::kCrLf ? 2 : 1));
    }
    return stream;
}

std::string expected_output(const StreamFile& stream, const std::string& record_end, bool line_end_after_last) {
    std::string out;
    for (std::size_t i = 0; i < stream.records.size(); ++i) {
        out.append(stream.records[i].begin(), stream.records[i].end());
        if (i + 1 < stream.records.size() || stream.last_terminated) {
            out += record_end;
        } else if (line_end_after_last) {
            out += '\n';
        }
    }
    return out;
}

struct LongCase {
    const char* name;
    StreamFormat format;
    bool last_terminated;
    std::string attributes;
    std::vector<std::string> options;
    std::string record_end;  // what replaces each terminator
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class LongStreamTest : public testing::TestWithParam<LongCase> {};

TEST_P(LongStreamTest, CopiesEveryRecordExactly) {
    const LongCase& c = GetParam();
    const StreamFile stream = long_stream(c.format, 9000, c.last_terminated);
    ASSERT_GT(stream.file.size(), 2u << 20);
    const bool raw = std::find(c.options.begin(), c.options.end(), "-r") != c.options.end();
    const std::string expected = expected_output(stream, c.record_end, !raw && c.record_end == "\n");
    ToolResult r = run_on_file(stream.file, c.attributes, c.options);
    ASSERT_GE(r.err.size(), 20u);
    EXPECT_EQ(r.err.substr(r.err.size() - 20), "9000 records copied\n");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.size(), expected.size());
    const auto mismatch = std::mismatch(r.out.begin(), r.out.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == r.out.end()) << "first difference at output byte "
                                               << (mismatch.first - r.out.begin());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LongStreamTest,
    testing::Values(LongCase{"StmLineEnds", StreamFormat::kCrLf, true, "rfm=stm rat=cr", {"-v"}, "\n"},
                    LongCase{"StmLastUnterminated", StreamFormat::kCrLf, false, "rfm=stm rat=cr", {"-v"}, "\n"},
                    LongCase{"StmNoLineEnds", StreamFormat::kCrLf, true, "rfm=stm", {"-v"}, ""},
                    LongCase{"StmRaw", StreamFormat::kCrLf, false, "rfm=stm rat=cr", {"-r", "-v"}, "\r\n"},
                    LongCase{"StmcrLineEnds", StreamFormat::kCr, true, "rfm=stmcr rat=cr", {"-v"}, "\n"},
                    LongCase{"StmcrLastUnterminated", StreamFormat::kCr, false, "rfm=stmcr", {"-i", "-v"},
                             "\n"},
                    LongCase{"StmcrNoLineEnds", StreamFormat::kCr, true, "rfm=stmcr", {"-v"}, ""},
                    LongCase{"StmcrRaw", StreamFormat::kCr, true, "rfm=stmcr rat=cr", {"-r", "-v"}, "\r"}),
    [](const testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });

// Runs the program in-process, as main would, with a 4 KB output buffer: the
// output fills every few kilobytes, the first reads end 32 KB and 96 KB into
// the file.
std::string copy_in_process(const TempDir& dir, const Bytes& file, const std::string& attributes,
                            const std::string& option) {
    const std::string data = dir.write("DATA.DAT", file);
    const std::string attrs = dir.write("attrs.txt", attributes);
    std::vector<std::string> words{"unrms", option, "-a", attrs, data};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    CapturedConsole captured;
    EXPECT_EQ(run_unrms(static_cast<int>(words.size()), argv.data(), captured.console()), 0);
    EXPECT_EQ(captured.err(), "");
    return captured.out();
}

// Short records, lone CRs (stm) and LFs, behind a first record of every
// length up to three blocks of the scan: the terminators and lone CRs meet
// every kind of boundary at every offset (block, read, output buffer).
TEST(StreamRecords, EveryBoundaryAtEveryOffset) {
    struct Mode {
        const char* option;
        std::string record_end;  // for a terminator; "-r" keeps it
    };
    TempDir dir;
    for (const StreamFormat format : {StreamFormat::kCrLf, StreamFormat::kCr}) {
        const bool crlf = format == StreamFormat::kCrLf;
        const std::string terminator = crlf ? "\r\n" : "\r";
        const std::string attributes = crlf ? "rfm=stm" : "rfm=stmcr";
        for (std::size_t shift = 0; shift < 192; ++shift) {
            std::vector<Bytes> records{Bytes(shift, 's')};
            for (std::size_t i = 0; records.size() < 5000; ++i) {
                Bytes data(i % 41, static_cast<unsigned char>('a' + i % 26));
                if (crlf && i % 7 == 3 && !data.empty()) data.insert(data.begin(), '\r');
                if (i % 5 == 1) {
                    data.push_back('\n');
                } else if (crlf && i % 11 == 5) {
                    data.push_back('\r');  // before the terminator's CR
                }
                records.push_back(data);
            }
            const Bytes file = rms::stream_file(records, format);
            for (const Mode& mode : {Mode{"-i", "\n"}, Mode{"-n", ""}, Mode{"-r", terminator}}) {
                SCOPED_TRACE(attributes + " " + mode.option + " shift " + std::to_string(shift));
                std::string expected;
                for (const Bytes& record : records) expected += rms::text(record) + mode.record_end;
                ASSERT_EQ(copy_in_process(dir, file, attributes, mode.option), expected);
            }
        }
    }
}

}  // namespace
