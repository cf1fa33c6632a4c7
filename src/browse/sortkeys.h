#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Sort keys of the result table's SNP columns, ordered as a geneticist reads them: positions in
// genome order, and SNP information fields that hold numbers by their value.
namespace quillmap {

// A SNP's place in the genome: chromosome 1..23 (X = 23; any other number sorts after X), then
// position in bp.
struct GenomeKey {
    int chromosome = 0;
    qint64 bp = 0;
};
GenomeKey genomeKey(int chromosome, double positionMb);

// A SNP information field: a finite decimal number (what QString::toDouble reads, surrounding
// blanks allowed) or text. Numbers order before text, numbers by value, text by code units.
struct FieldKey {
    bool isNumber = false;
    double number = 0.0;
    QString text;
};
FieldKey fieldKey(const QString &field);

// Writes into order[0..n-1] the rows 0..n-1 (n = keys.size()) ordered by their keys; rows with
// equal keys keep their order. Genome order: `byPosition` sorts by chromosome and position,
// both descending when not `ascending`; otherwise only the chromosome is reversed and positions
// stay ascending within each. Fields: descending reverses the values, text stays after numbers.
void orderByGenome(const std::vector<GenomeKey> &keys, bool byPosition, bool ascending, int *order);
void orderByField(const std::vector<FieldKey> &keys, bool ascending, int *order);

// Writes into order[0..n-1] the rows 0..n-1 (n = keys.size()) by ascending key; rows with
// equal keys keep their order. A radix sort: linear in n, for tables of tens of millions.
void orderByKey(const std::vector<quint64> &keys, int *order);
// A key that orders as `value` does (-0 as 0); NaN must have been set apart.
quint64 numberKey(double value);

} // namespace quillmap
