// Member names as output paths: VMS specifications, zip paths, and the
// version rule over an archive's members.
#include <gtest/gtest.h>

#include "archives/member_names.h"

namespace {

struct NameCase {
    std::string stored;
    NameVerdict verdict;
    std::string path;
    std::uint32_t version;
};

TEST(VmsOutputName, DirectoriesVersionsEscapesAndWhatCannotStand) {
    const NameCase cases[] = {
        {"[DIR.SUB]NAME.EXT;3", NameVerdict::kKept, "DIR/SUB/NAME.EXT", 3},
        {"[A1MIST$KITS470.LM]V60$CM$CART.DAT;2", NameVerdict::kKept, "A1MIST$KITS470/LM/V60$CM$CART.DAT", 2},
        {"[B]README.;1", NameVerdict::kKept, "B/README", 1},
        {"NAME.EXT;1", NameVerdict::kKept, "NAME.EXT", 1},
        {"DKA0:[A]B.C;7", NameVerdict::kKept, "A/B.C", 7},
        {"NODE::DKA0:<A.B>C.D;1", NameVerdict::kKept, "A/B/C.D", 1},
        {"[000000]TOP.DIR;1", NameVerdict::kKept, "TOP.DIR", 1},
        {"[ROOT.][SUB]F.G;1", NameVerdict::kKept, "ROOT/SUB/F.G", 1},
        {"[A]OLD.TXT.12", NameVerdict::kKept, "A/OLD.TXT", 12},
        {"[A]NOVERSION.TXT", NameVerdict::kKept, "A/NOVERSION.TXT", 0},
        {"[A]B.C;", NameVerdict::kKept, "A/B.C", 0},
        // ODS-5 escapes.
        {"[Mixed^_Case]file^.name.tar^.gz;1", NameVerdict::kKept, "Mixed Case/file.name.tar.gz", 1},
        {"[A]caf^E9.txt;1", NameVerdict::kKept, "A/caf\xe9.txt", 1},
        {"[A]^U20AC.txt;1", NameVerdict::kKept, "A/\xe2\x82\xac.txt", 1},
        {"[A]semi^;colon.txt;2", NameVerdict::kKept, "A/semi;colon.txt", 2},
        {"[A]up^[.b;1", NameVerdict::kKept, "A/up[.b", 1},
        // What a Linux name cannot hold, written in its escaped form.
        {"[A]x^2Fy.txt;1", NameVerdict::kMadeSafe, "A/x^2Fy.txt", 1},
        {"[A]x/y.txt;1", NameVerdict::kMadeSafe, "A/x^2Fy.txt", 1},
        {std::string("[A]n\0l.txt;1", 12), NameVerdict::kMadeSafe, "A/n^00l.txt", 1},
        {"[A.^.^.]ESCAPE.TXT;1", NameVerdict::kMadeSafe, "A/^.^./ESCAPE.TXT", 1},
        {"[^.^..^.]B.C;1", NameVerdict::kMadeSafe, "^.^./^./B.C", 1},
        {"[A..B]C.D;1", NameVerdict::kMadeSafe, "A/B/C.D", 1},
        {"[]C.D;1", NameVerdict::kMadeSafe, "C.D", 1},
        {"[A]B.C;X1", NameVerdict::kMadeSafe, "A/B.C;X1", 0},
        {"/etc/passwd;1", NameVerdict::kMadeSafe, "^2Fetc^2Fpasswd", 1},
        // No file name.
        {"[A]", NameVerdict::kRefused, "", 0},
        {"[A].;1", NameVerdict::kRefused, "", 0},
        {"", NameVerdict::kRefused, "", 0},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.stored);
        const OutputName name = vms_output_name(c.stored);
        EXPECT_EQ(name.verdict, c.verdict) << name.message;
        EXPECT_EQ(name.path, c.path);
        EXPECT_EQ(name.version, c.version);
        EXPECT_EQ(name.message.empty(), c.verdict == NameVerdict::kKept);
    }
}

TEST(ZipOutputName, StoredPathsCleanedOrRefused) {
    const NameCase cases[] = {
        {"zip/readme.txt", NameVerdict::kKept, "zip/readme.txt", 0},
        {"vms-binaries/", NameVerdict::kKept, "vms-binaries", 0},
        {"a\\b.txt", NameVerdict::kKept, "a\\b.txt", 0},
        {"/abs/path", NameVerdict::kMadeSafe, "abs/path", 0},
        {"a//b/./c", NameVerdict::kMadeSafe, "a/b/c", 0},
        {"../../etc/passwd", NameVerdict::kRefused, "", 0},
        {"a/../../b", NameVerdict::kRefused, "", 0},
        {"a/..", NameVerdict::kRefused, "", 0},
        {std::string("nul\0byte", 8), NameVerdict::kRefused, "", 0},
        {"/", NameVerdict::kRefused, "", 0},
        {"./", NameVerdict::kRefused, "", 0},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.stored);
        const OutputName name = zip_output_name(c.stored);
        EXPECT_EQ(name.verdict, c.verdict) << name.message;
        EXPECT_EQ(name.path, c.path);
    }
}

TEST(PlaceVersions, HighestPlainOthersWithTheirVersionCollisionsBoth) {
    struct Case {
        const char* what;
        std::vector<VersionedName> names;
        std::vector<PlacedName> placed;
    };
    const Case cases[] = {
        {"versions of one name, in any order",
         {{"A/B.C", 2, false}, {"A/B.C", 5, false}, {"A/D.E", 1, false}, {"A/B.C", 3, false}},
         {{"A/B.C;2", false}, {"A/B.C", false}, {"A/D.E", false}, {"A/B.C;3", false}}},
        {"two of one version", {{"X", 1, false}, {"X", 1, false}, {"Y", 1, false}},
         {{"X", true}, {"X", true}, {"Y", false}}},
        {"a name that reads like another's version", {{"X;2", 0, false}, {"X", 2, false}, {"X", 3, false}},
         {{"X;2", true}, {"X;2", true}, {"X", false}}},
        {"a file where a directory is needed", {{"A", 1, false}, {"A/B", 1, false}, {"C/D", 1, false}},
         {{"A", true}, {"A/B", true}, {"C/D", false}}},
        {"directory entries beside their members", {{"dir", 0, true}, {"dir", 0, true}, {"dir/f", 0, false}},
         {{"dir", false}, {"dir", false}, {"dir/f", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<PlacedName> placed = place_versions(c.names);
        ASSERT_EQ(placed.size(), c.placed.size());
        for (std::size_t i = 0; i < placed.size(); ++i) {
            EXPECT_EQ(placed[i].output, c.placed[i].output) << i;
            EXPECT_EQ(placed[i].collides, c.placed[i].collides) << i;
        }
    }
}

}  // namespace
