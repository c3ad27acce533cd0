#include "attributes/run_options.h"

#include "formats/attribute_codes.h"
#include "platform/console.h"

void settle_newline_mode(RunOptions& options, std::uint8_t rat) {
    if (options.newline_mode == NewlineMode::kUndecided && (rat & (kRatFortran | kRatPrint)) != 0) {
        options.newline_mode = NewlineMode::kAfterRecord;
    }
    if (options.newline_mode != NewlineMode::kUndecided) {
        options.newline_forced = true;
        return;
    }
    options.newline_mode = (rat & kRatCarriageReturn) != 0 ? NewlineMode::kAfterRecord : NewlineMode::kNone;
}

void print_records_copied(const RunOptions& options, Console& console, std::uint64_t records) {
    if (verbose_any(options)) {
        message(console, "%llu records copied\n", static_cast<unsigned long long>(records));
    }
}
