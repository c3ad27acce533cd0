// Member names as output paths. A member's name is data from the archive:
// these functions turn it into a relative path below the output folder
// that can never leave it, or refuse it, and say which.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class NameVerdict {
    kKept,      // the path is the name, in the form of the host
    kMadeSafe,  // parts that could not stand were changed; message says which
    kRefused,   // no safe path: message says why
};

struct OutputName {
    NameVerdict verdict = NameVerdict::kKept;
    std::string path;           // relative, components separated by '/'; empty when refused
    std::uint32_t version = 0;  // the VMS version; 0 when the name has none
    std::string message;
};

// A VMS file name, as a saveset stores it:
// "[DIR.SUB]NAME.EXT;3" gives "DIR/SUB/NAME.EXT" and version 3.
//   - A device or node in front ("DKA0:", "NODE::") is dropped; "<" and
//     ">" delimit a directory as "[" and "]" do; a rooted directory
//     "[A.][B]" is "[A.B]"; the master directory "000000" leading the
//     directory names nothing.
//   - An empty type loses its dot ("README.;1" gives "README"). The old
//     form "NAME.EXT.3" gives version 3 too; a version that is not a
//     number stays in the name (made safe).
//   - ODS-5 escapes are decoded in each component: "^_" a blank, "^." a
//     dot, "^xx" the byte of two hex digits, "^Uxxxx" that UCS-2 character
//     in UTF-8, "^c" the character c.
//   - What a Linux name cannot hold is made safe by writing it in its
//     escaped form again: a slash or NUL byte inside a component as "^2F"
//     or "^00", a component "." or ".." as "^." or "^.^.". Empty
//     directory components ("[A..B]") are dropped (made safe).
//   - Refused: a name with no file name ("[A]", "[A].;1").
OutputName vms_output_name(std::string_view stored);

// A zip member's stored path, '/' its separator.
//   - Leading slashes are dropped, and so are empty and "." components
//     (made safe); the trailing slash of a directory entry is dropped
//     (kept).
//   - Refused: a ".." component (it would lead out of the output folder,
//     as GNU tar refuses it), a NUL byte, a path that is empty once
//     cleaned.
OutputName zip_output_name(std::string_view stored);

// A mapped member of one archive, for the version rule.
struct VersionedName {
    std::string path;
    std::uint32_t version = 0;
    bool directory = false;
};

struct PlacedName {
    std::string output;
    bool collides = false;
};

// The outputs of an archive's members, in their order: of the members of
// one path the highest version is the path itself ("NAME.EXT"), every other
// "NAME.EXT;N". A member collides when another gets the same output (two of
// one version, or a name that reads "NAME.EXT;2" beside a version 2), or
// when its output is a file where another needs a directory; the caller
// reports each one that collides and writes neither over the other.
// Directory entries of one path do not collide with each other.
std::vector<PlacedName> place_versions(const std::vector<VersionedName>& names);
