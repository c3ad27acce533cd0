// The rescue's own formatting: names shown on one line, manifest rows,
// the progress line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "rescue/file_list.h"
#include "rescue/manifest.h"
#include "rescue/rescue_command.h"
#include "rescue/rescue_file.h"
#include "rescue/shown_name.h"
#include "run_tool.h"

namespace {

TEST(ShownName, EscapesWhatBreaksALine) {
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"LOGIN.COM", "LOGIN.COM"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {"back\\slash", "back\\\\slash"},  // so that the escapes read back
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"esc\x1b[K", "esc\\x1B[K"},
        {"del\x7f", "del\\x7F"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},  // UTF-8 stays
        {"c1\xc2\x85", "c1\\xC2\\x85"},                   // NEL, a C1 control
        {"latin1\xe9", "latin1\\xE9"},                    // not UTF-8
        {"cut\xe2\x82", "cut\\xE2\\x82"},                 // a character cut short
        {"overlong\xc0\xaf", "overlong\\xC0\\xAF"},       // "/" in two bytes
        {"surrogate\xed\xa0\x80", "surrogate\\xED\\xA0\\x80"},
        {"beyond\xf4\x90\x80\x80", "beyond\\xF4\\x90\\x80\\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shown_name(c.name), c.shown);
    }
}

TEST(ManifestLine, FieldsInOrderNullWhereTheyDoNotApply) {
    RescueRow row;
    row.source = "disk/A.DAT";
    row.status = RowStatus::kSkipped;
    row.reason = RowReason::kSymlink;
    row.message = "a symbolic link, not followed";
    EXPECT_EQ(manifest_line(row),
              "{\"source\":\"disk/A.DAT\",\"member\":null,\"inside\":null,\"output\":null,\"attributes\":null,\"from\":null,\"confident\":null,"
              "\"line_ends\":null,\"score\":null,\"runner_up\":null,\"records\":0,\"bytes_in\":0,\"bytes_out\":0,\"status\":\"skipped\","
              "\"reason\":\"symlink\",\"message\":\"a symbolic link, not followed\"}\n");

    row.output = "out/A.DAT";
    row.attributes = "org=seq rfm=fix rat=none lrl=2";
    row.origin = AttributeOrigin::kProbe;
    row.score = 60;
    row.runner_up = "org=seq rfm=var rat=none lrl=0";
    row.runner_up_score = 45;
    row.records = 3;
    row.status = RowStatus::kUnsure;
    row.message.clear();
    const nlohmann::json json = nlohmann::json::parse(manifest_line(row));
    EXPECT_EQ(json["from"], "probe");
    EXPECT_EQ(json["confident"], false);
    EXPECT_EQ(json["runner_up"], (nlohmann::json{{"attributes", row.runner_up}, {"score", 45}}));
    EXPECT_EQ(json["status"], "unsure");
}

// Names of any bytes still make valid JSON on one line; a name that is not
// UTF-8 keeps its bytes in source_bytes, as the plan shows them, so two
// Latin-1 names never give the same row.
TEST(ManifestLine, AnyNameIsOneLineOfJson) {
    RescueRow row;
    const std::string name = std::string("a\nb\"c\\d\x01\xff");
    row.source = name;
    const std::string line = manifest_line(row);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const nlohmann::json json = nlohmann::json::parse(line);
    EXPECT_EQ(json["source"].get<std::string>(), "a\nb\"c\\d\x01\xef\xbf\xbd");
    EXPECT_EQ(json["source_bytes"].get<std::string>(), "a\\nb\"c\\\\d\\x01\\xFF");
    row.source = "caf\xc3\xa9";
    EXPECT_FALSE(nlohmann::json::parse(manifest_line(row)).contains("source_bytes"));
}

// The tree changes between the walk and the copy: a directory swapped for a
// link to another holding a file of the same name, a file swapped for
// another, a sidecar swapped for a FIFO. Each is a failed row at once:
// nothing is read through the link, nothing waits on the FIFO.
TEST(RescueEntry, FilesAreOpenedAsTheWalkFoundThem) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        void (*change)(const std::string& src);
        RowReason reason;
        const char* message;
    };
    const Case cases[] = {
        {"DirectorySwappedForALink",
         [](const std::string& src) {
             fs::rename(src + "/d", src + "/old");
             fs::create_directory_symlink(src + "/elsewhere", src + "/d");
         },
         RowReason::kChanged, "not the regular file the walk found"},
        {"DirectorySwappedForAnother",
         [](const std::string& src) {
             fs::rename(src + "/d", src + "/old");
             fs::rename(src + "/elsewhere", src + "/d");
         },
         RowReason::kChanged, "not the regular file the walk found"},
        {"FileSwappedForAnother",
         [](const std::string& src) {
             std::ofstream(src + "/d/F.new") << "other";
             fs::rename(src + "/d/F.new", src + "/d/F");
         },
         RowReason::kChanged, "not the regular file the walk found"},
        {"SidecarSwappedForAFifo",
         [](const std::string& src) {
             fs::remove(src + "/d/F.attr");
             ASSERT_EQ(::mkfifo((src + "/d/F.attr").c_str(), 0600), 0);
         },
         RowReason::kAttributes, "F.attr: not a regular file, or not the one the walk found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string src = dir.path("src");
        fs::create_directories(src + "/d");
        fs::create_directories(src + "/elsewhere");
        for (const char* file : {"/d/F", "/elsewhere/F"}) std::ofstream(src + file) << "\x04\0text";
        std::ofstream(src + "/d/F.attr") << "org=seq rfm=var rat=cr\n";
        FileList list;
        build_file_list({src}, DirectoryIdentity{}, list);
        c.change(src);
        std::size_t index = 0;
        while (index < list.entries.size() && source_of(list, list.entries[index]) != src + "/d/F") ++index;
        ASSERT_LT(index, list.entries.size());
        Worker worker;
        worker_open(worker, -1, dir.path("out"));
        RescueSink sink;
        sink.emit = [](const RescueRow&, const RowKey&) {};
        sink.offer = [](MemberJob&) { return false; };
        rescue_entry(list, index, RescueSettings{false, true, false}, worker, sink);
        EXPECT_EQ(worker.row.status, RowStatus::kFailed);
        EXPECT_EQ(worker.row.reason, c.reason);
        EXPECT_NE(worker.row.message.find(c.message), std::string::npos) << worker.row.message;
        worker_close(worker);
        close_file_list(list);
    }
}

TEST(ProgressText, RateAndTimeLeftOnceSomethingIsRead) {
    EXPECT_EQ(progress_text(0, 20, 0, 10 << 20, 0.5), "unrms-rescue: 0 of 20 files, 0.0 of 10.0 MB");
    EXPECT_EQ(progress_text(5, 20, 2 << 20, 10 << 20, 2.0),
              "unrms-rescue: 5 of 20 files, 2.0 of 10.0 MB, 1.0 MB/s, 0:08 left");
    EXPECT_EQ(progress_text(1, 2, 1 << 20, 3601ull << 20, 1.0),
              "unrms-rescue: 1 of 2 files, 1.0 of 3601.0 MB, 1.0 MB/s, 60:00 left");
}

}  // namespace
