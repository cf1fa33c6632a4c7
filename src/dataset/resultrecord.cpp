#include "dataset/resultrecord.h"

#include <QtEndian>

#include <cstring>

namespace quillmap {

namespace {

void putFloat(char *out, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToBigEndian(bits, out);
}

float getFloat(const char *in)
{
    const quint32 bits = qFromBigEndian<quint32>(in);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

void encodeRecord(char *out, const RecordHead &head, const float *extra, int extraCount)
{
    qToBigEndian(head.traitIndex, out);
    qToBigEndian(head.snpIndex, out + 4);
    putFloat(out + 8, head.firstStat);
    for (int k = 0; k < extraCount; ++k)
        putFloat(out + 12 + 4 * k, extra[k]);
}

RecordHead decodeRecord(const char *in, float *extra, int extraCount)
{
    RecordHead head;
    head.traitIndex = qFromBigEndian<qint32>(in);
    head.snpIndex = qFromBigEndian<qint32>(in + 4);
    head.firstStat = getFloat(in + 8);
    for (int k = 0; k < extraCount; ++k)
        extra[k] = getFloat(in + 12 + 4 * k);
    return head;
}

} // namespace quillmap
