#include "attributes/fdl_writer.h"

#include <span>

#include "attributes/fdl_reader.h"

namespace {

constexpr std::size_t kNameColumn = 24;

std::string value_name(std::span<const FdlName> names, unsigned code) {
    for (const FdlName& name : names) {
        if (name.code == code) {
            return name.name;
        }
    }
    return std::to_string(code);
}

void add_attribute(std::string& text, const char* name, const std::string& value) {
    std::string line = std::string("\t") + name;
    line.resize(1 + kNameColumn, ' ');
    text += line + value + "\n";
}

}  // namespace

std::string fdl_description(const FileAttributes& attributes) {
    const std::uint8_t org = org_of(attributes);
    const std::uint8_t rfm = rfm_of(attributes);
    const std::uint8_t rat = rat_of(attributes);
    std::string text = "IDENT\t\"unrms record attributes\"\n\nFILE\n";
    if (org == kOrgRelative) {
        add_attribute(text, "BUCKET_SIZE", std::to_string(bks_of(attributes)));
    }
    add_attribute(text, "ORGANIZATION", value_name(kFdlOrganizations, org));

    text += "\nRECORD\n";
    add_attribute(text, "BLOCK_SPAN", (rat & kRatNoSpan) != 0 ? "no" : "yes");
    add_attribute(text, "CARRIAGE_CONTROL",
                  value_name(kFdlCarriageControls, rat & (kRatFortran | kRatCarriageReturn | kRatPrint)));
    if (rfm == kRfmVfc) {
        add_attribute(text, "CONTROL_FIELD_SIZE", std::to_string(fsz_of(attributes)));
    }
    add_attribute(text, "FORMAT", value_name(kFdlFormats, rfm));
    add_attribute(text, "SIZE", std::to_string(lrl_of(attributes)));
    return text;
}
