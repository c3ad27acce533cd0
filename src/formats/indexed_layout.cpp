#include "formats/indexed_layout.h"

#include "platform/little_endian.h"

KeyDescriptor decode_key_descriptor(const unsigned char* p) {
    KeyDescriptor key{};
    key.idxfl = le32(p);
    key.noff = le16(p + 4);
    key.ianum = p[6];
    key.lanum = p[7];
    key.danum = p[8];
    key.rootlev = p[9];
    key.idxbktsz = p[10];
    key.datbktsz = p[kKeyDatbktszOffset];
    key.rootvbn = le32(p + 12);
    key.flags = p[16];
    key.datatype = p[17];
    key.segments = p[kKeySegmentsOffset];
    key.nullchar = p[19];
    key.keysz = p[20];
    key.keyref = p[21];
    key.minrecsz = le16(p + 22);
    key.idxfill = le16(p + 24);
    key.datfill = le16(p + 26);
    for (int i = 0; i < kMaxKeySegments; ++i) {
        key.position[i] = le16(p + 28 + 2 * i);
        key.size[i] = p[44 + i];
        key.type[i] = p[88 + i];
    }
    key.keynam = p + kKeyNameOffset;
    key.ldvbn = le32(p + kKeyLdvbnOffset);
    return key;
}

Prolog decode_prolog(const unsigned char* vbn1) {
    Prolog prolog{};
    prolog.avbn = vbn1[102];
    prolog.amax = vbn1[103];
    prolog.dvbn = le16(vbn1 + 104);
    prolog.mrn = le32(vbn1 + 108);
    prolog.eof = le32(vbn1 + 112);
    prolog.ver_no = le16(vbn1 + 116);
    prolog.gbc = le16(vbn1 + 118);
    prolog.colvbn = le16(vbn1 + 120);
    return prolog;
}

AreaDescriptor decode_area_descriptor(const unsigned char* p) {
    AreaDescriptor area{};
    area.flags = p[1];
    area.areaid = p[2];
    area.arbktsz = p[3];
    area.volume = le16(p + 4);
    area.aln = p[6];
    area.aop = p[7];
    area.avail = le32(p + 8);
    area.cvbn = le32(p + 12);
    area.cnblk = le32(p + 16);
    area.used = le32(p + 20);
    area.nxtvbn = le32(p + 24);
    area.nxt = le32(p + 28);
    area.nxblk = le32(p + 32);
    area.deq = le16(p + 36);
    area.loc = le32(p + 40);
    area.rfi[0] = le16(p + 44);
    area.rfi[1] = le16(p + 46);
    area.rfi[2] = le16(p + 48);
    area.total_alloc = le32(p + 50);
    area.check = le16(p + 62);
    return area;
}

BucketHeader decode_bucket_header(const unsigned char* bucket) {
    BucketHeader header{};
    header.checkchar = bucket[0];
    header.indexno = bucket[1];
    header.adrsample = le16(bucket + 2);
    header.freespace = le16(bucket + 4);
    header.nxtrecid = le16(bucket + 6);
    header.nxtbkt = le32(bucket + kBucketNxtbktOffset);
    header.level = bucket[12];
    header.bktcb = bucket[13];
    return header;
}
