#include "formats/relative_layout.h"

#include "platform/little_endian.h"

RelativeProlog decode_relative_prolog(const unsigned char* vbn1) {
    RelativeProlog prolog{};
    prolog.flags = vbn1[kRelativePrologFlags];
    prolog.dvbn = le16(vbn1 + kRelativePrologDvbn);
    prolog.mrn = le32(vbn1 + kRelativePrologMrn);
    prolog.eof = le32(vbn1 + kRelativePrologEof);
    return prolog;
}
