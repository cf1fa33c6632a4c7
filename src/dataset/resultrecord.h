#pragma once

#include <QtGlobal>

#include <cstddef>

// The record of table1.dat and table2.dat: trait index (int32), SNP index (int32), first
// statistic (float32), then E extra statistics (float32 each); all big-endian, no padding.
namespace quillmap {

// Size in bytes of one record with `extraStats` extra statistics (12 + 4E).
constexpr qint64 recordSize(int extraStats)
{
    return 12 + 4 * qint64(extraStats);
}

struct RecordHead {
    qint32 traitIndex = 0;
    qint32 snpIndex = 0;
    float firstStat = 0.0f;
};

// Encodes one record into `out`, which must hold recordSize(extraCount) bytes.
void encodeRecord(char *out, const RecordHead &head, const float *extra, int extraCount);

// Decodes one record from `in` (recordSize(extraCount) bytes); `extra` receives extraCount
// values and may be null when extraCount is 0.
RecordHead decodeRecord(const char *in, float *extra, int extraCount);

} // namespace quillmap
