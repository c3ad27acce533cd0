#include "attributes/attribute_rules.h"

#include "platform/console.h"

namespace {

constexpr unsigned kBlockSize = 512;
constexpr std::uint16_t kLongestVariableRecord = 32767;

// udf and the three stream formats hold no records a relative or indexed
// file could keep.
bool is_stream_or_undefined(std::uint8_t rfm) {
    return rfm == kRfmUndefined || (rfm >= kRfmStream && rfm <= kRfmStreamCr);
}

int carriage_control_count(std::uint8_t rat) {
    return ((rat & kRatFortran) != 0) + ((rat & kRatCarriageReturn) != 0) + ((rat & kRatPrint) != 0);
}

}  // namespace

int check_attributes(FileAttributes& attributes, Console& console) {
    const std::uint8_t org = org_of(attributes);
    const std::uint8_t rfm = rfm_of(attributes);
    const std::uint8_t rat = rat_of(attributes);

    if (carriage_control_count(rat) >= 2) {
        message(console, "-e-ratatr, more than one carriage control (ftn, cr, prn)\n");
        return 0;
    }
    if ((rat & kRatPrint) != 0 && (rfm != kRfmVfc || fsz_of(attributes) != 2)) {
        message(console, "-e-prnatr, for carriage control prn record format must be vfc and fsz==2\n");
        return 0;
    }

    if (org == kOrgSequential) {
        if (bks_of(attributes) != 0) {
            message(console, "-w-seqbks, bks is non-zero: ignored\n");
        }
    } else if (org == kOrgRelative) {
        if (is_stream_or_undefined(rfm)) {
            message(console, "-e-relrfm, incompatible record format (udf, stm, stmlf, stmcr)\n");
            return 0;
        }
        if (bks_of(attributes) == 0) {
            message(console, "-e-relbks, bks must be non-zero for relative files\n");
            return 0;
        }
    } else if (org == kOrgIndexed) {
        if (is_stream_or_undefined(rfm)) {
            message(console, "-e-idxrfm, incompatible record format (udf, stm, stmlf, stmcr)\n");
            return 0;
        }
        if (bks_of(attributes) != 0) {
            message(console, "-w-idxbks, bks is non-zero: ignored\n");
        }
    }

    if (lrl_of(attributes) == 0) {
        if (rfm == kRfmFixed) {
            message(console, "-e-lrlatr, lrl must be non-zero for fixed record size\n");
            return 0;
        }
        if (org == kOrgRelative) {
            set_lrl(attributes, static_cast<std::uint16_t>(bks_of(attributes) * kBlockSize));
        } else if (rfm == kRfmVariable || rfm == kRfmVfc) {
            set_lrl(attributes, kLongestVariableRecord);
        }
    }

    if (rfm == kRfmVfc && fsz_of(attributes) == 0) {
        message(console, "-e-fszatr, fsz must be non-zero for vfc record size\n");
        return 0;
    }
    return 1;
}
