#include "attributes/attribute_rules.h"

#include <algorithm>

#include "formats/blocks.h"
#include "formats/record_limits.h"
#include "platform/console.h"

namespace {

// udf and the three stream formats hold no records a relative or indexed
// file could keep.
bool is_stream_or_undefined(std::uint8_t rfm) {
    return rfm == kRfmUndefined || (rfm >= kRfmStream && rfm <= kRfmStreamCr);
}

int carriage_control_count(std::uint8_t rat) {
    return ((rat & kRatFortran) != 0) + ((rat & kRatCarriageReturn) != 0) + ((rat & kRatPrint) != 0);
}

}  // namespace

bool check_attributes(FileAttributes& attributes, Console& console) {
    const std::uint8_t org = org_of(attributes);
    const std::uint8_t rfm = rfm_of(attributes);
    const std::uint8_t rat = rat_of(attributes);

    if (carriage_control_count(rat) >= 2) {
        message(console, "-e-ratatr, more than one carriage control (ftn, cr, prn)\n");
        return false;
    }
    if ((rat & kRatPrint) != 0 && (rfm != kRfmVfc || fsz_of(attributes) != 2)) {
        message(console, "-e-prnatr, for carriage control prn record format must be vfc and fsz==2\n");
        return false;
    }

    if (org == kOrgSequential) {
        if (bks_of(attributes) != 0) {
            message(console, "-w-seqbks, bks is non-zero: ignored\n");
        }
    } else if (org == kOrgRelative) {
        if (is_stream_or_undefined(rfm)) {
            message(console, "-e-relrfm, incompatible record format (udf, stm, stmlf, stmcr)\n");
            return false;
        }
        if (bks_of(attributes) == 0) {
            message(console, "-e-relbks, bks must be non-zero for relative files\n");
            return false;
        }
    } else if (org == kOrgIndexed) {
        if (is_stream_or_undefined(rfm)) {
            message(console, "-e-idxrfm, incompatible record format (udf, stm, stmlf, stmcr)\n");
            return false;
        }
        if (bks_of(attributes) != 0) {
            message(console, "-w-idxbks, bks is non-zero: ignored\n");
        }
    }

    if (lrl_of(attributes) == 0) {
        if (rfm == kRfmFixed) {
            message(console, "-e-lrlatr, lrl must be non-zero for fixed record size\n");
            return false;
        }
        if (org == kOrgRelative) {
            // A whole bucket, or as much as the field holds when that does
            // not fit: lrl 0 would refuse every record.
            const std::uint32_t bucket = bks_of(attributes) * static_cast<std::uint32_t>(kBlockSize);
            set_lrl(attributes, static_cast<std::uint16_t>(std::min(bucket, kLargestLrl)));
        } else if (rfm == kRfmVariable || rfm == kRfmVfc) {
            set_lrl(attributes, kLongestRecord);
        }
    }

    if (rfm == kRfmVfc && fsz_of(attributes) == 0) {
        message(console, "-e-fszatr, fsz must be non-zero for vfc record size\n");
        return false;
    }
    return true;
}
