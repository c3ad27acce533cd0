#include "attributes/attribute_listing.h"

#include <iterator>

#include "platform/console.h"

namespace {

// The reader stores only named codes; a code past the table (possible only
// for a record built by hand) shows as its number rather than as garbage.
template <std::size_t N>
std::string code_name(const char* const (&names)[N], unsigned code) {
    return code < N ? names[code] : std::to_string(code);
}

}  // namespace

std::string attribute_listing(const FileAttributes& attributes) {
    std::string line = "org=" + code_name(kOrgNames, org_of(attributes));
    line += " rfm=" + code_name(kRfmNames, rfm_of(attributes));
    const std::uint8_t rat = rat_of(attributes);
    bool any = false;
    for (std::size_t i = 1; i < std::size(kRatNames); ++i) {
        if ((rat & (1u << (i - 1))) != 0) {
            line += std::string(" rat=") + kRatNames[i];
            any = true;
        }
    }
    if (!any) {
        line += " rat=none";
    }
    line += " lrl=" + std::to_string(lrl_of(attributes));
    if (org_of(attributes) == kOrgRelative) {
        line += " bks=" + std::to_string(bks_of(attributes));
    }
    if (rfm_of(attributes) == kRfmVfc) {
        line += " fsz=" + std::to_string(fsz_of(attributes));
    }
    line += "\n";
    return line;
}

void list_attributes(const FileAttributes& attributes, Console& console) {
    message(console, "%s", attribute_listing(attributes).c_str());
}
