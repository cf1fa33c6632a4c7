#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

// Chromosome fields as the inputs spell them, read as chromosome numbers 1 to 23 (X is 23).
// The one home of the "X is 23" rule and of each input's spelling of chromosomes.
namespace quillmap {

enum class ChromosomeSpelling {
    // The SNP information file of the five-file import and the dataset's own text: "1" to "23"
    // or "X" exactly (no prefix, blank, leading zero or lower case).
    Exact,
    // Association tool output: "1" to "22", "23" or "X"/"x", each optionally after a "chr"
    // prefix in any case ("chr1", "CHRX"). Y, XY, MT, PAR regions, contigs and codes 24 to 26
    // (Y, XY, MT in numeric form) have no number: such rows are not kept.
    Tool,
};

// Chromosome number 1 to 23 of a field, or nothing when the spelling does not allow it.
std::optional<int> parseChromosome(QByteArrayView field,
                                   ChromosomeSpelling spelling = ChromosomeSpelling::Exact);
std::optional<int> parseChromosome(QStringView field,
                                   ChromosomeSpelling spelling = ChromosomeSpelling::Exact);

// The gene position file's rule: every "chr" removed in any case, then "X" or "x" is 23, a
// decimal integer (blanks around it allowed) is itself whatever its value (0, 24, -3), and
// anything else is 0 ("chrY" gives 0). Integers of magnitude beyond 2147483 give 0, so
// number x 1000 stays within 32 bits.
qint64 geneChromosomeNumber(QByteArrayView field);

// The name a chromosome number is shown under: "X" for 23, the decimal number otherwise.
QString chromosomeName(int number);

} // namespace quillmap
