#pragma once

#include "import/snptable.h"
#include "import/toolformat.h"
#include "import/toolimport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <string>
#include <vector>

namespace quillmap {

class AtomicFile;

// A trait's file as it is read.
struct ToolTraitFile {
    QString path;     // as messages and the trait information name it
    QString readFrom; // where it is opened
    QString trait;
    QByteArray traitBytes; // the trait as the results file writes it
    qint32 traitId = -1;   // traits with kept rows before this one's first
    ToolColumns columns;
    QByteArray header; // the line the columns were read from
    qint64 kept = 0;
    SkippedRows skipped;
    double bestNegLog10 = -1.0;
    QByteArray bestP;
    QByteArray bestSnp;
};

// Turns the data lines of tool files into rows of the derived inputs: the row is checked,
// skipped and counted where the tool marks it missing, its SNP merged with the earlier rows of
// that SNP (or named ID:alleles where its alleles differ), and its lines written to the derived
// files. The numbers handed on are parsed back from the very text written, so the import
// stores what it would store reading the derived files.
class ToolRowConverter final
{
public:
    // `files` is updated as rows are kept or skipped; `results` may be null (no text copy).
    ToolRowConverter(ToolFormat format, std::vector<ToolTraitFile> &files, AtomicFile *results,
                     AtomicFile &snpInfo);

    // Reads data line `line` (1-based) of file `file`. False on a bad line: error() says why.
    // `kept` tells whether the line gave a row; its values are then the ones below.
    bool convert(int file, qint64 line, QByteArrayView lineText, bool &kept);
    QString error() const { return m_error; }

    // The kept row: its SNP ID, that SNP's entry (in the order SNPs were first kept), and per
    // statistic (-log10(P), P, the effect columns) its value and whether precision was lost.
    const std::string &id() const { return m_id; }
    qint32 snpId() const { return m_snpId; }
    const std::vector<float> &stats() const { return m_stats; }
    const std::vector<char> &lost() const { return m_lost; }

    // SNPs named ID:alleles as their ID was another's, and the first of them.
    qint64 renamed() const { return m_renamed; }
    QString firstRenamed() const { return m_firstRenamed; }

private:
    bool invalid(const QString &text);
    QString at(int file, qint64 line) const;

    const ToolFormat m_format;
    std::vector<ToolTraitFile> &m_files;
    AtomicFile *const m_results;
    AtomicFile &m_snpInfo;
    QString m_error;
    std::vector<QByteArrayView> m_fields;
    SnpTable m_snps;
    std::string m_resultLine;
    std::string m_snpLine;
    std::string m_id;
    std::string m_alleles; // the row's alleles, each after a ':'
    std::vector<float> m_stats;
    std::vector<char> m_lost;
    size_t m_width = 0; // statistics per row
    qint32 m_snpId = 0;
    qint32 m_traitsKept = 0;
    qint64 m_renamed = 0;
    QString m_firstRenamed;
};

} // namespace quillmap
