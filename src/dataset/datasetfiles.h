#pragma once

#include <QString>

// Names and fixed texts of the files in a dataset folder. Every file lives directly in the
// dataset folder; names are spelled exactly as here, letter case included.
namespace quillmap::files {

inline constexpr char Summary[] = "summary.txt";
inline constexpr char TraitList[] = "IDlist.dat";
inline constexpr char SnpList[] = "SNPlist.dat";
inline constexpr char TraitTable[] = "table1.dat";   // records ordered by trait index
inline constexpr char TraitCounts[] = "ID_Line.dat"; // per trait: record count in table1.dat
inline constexpr char BinTable[] = "table2.dat";     // records ordered by position bin
inline constexpr char BinCounts[] = "Pos_Line.dat";  // per bin: record count in table2.dat
inline constexpr char GroupTraits[] = "Gene2ID.dat"; // group -> traits (optional)
inline constexpr char BinGenes[] = "pos2gene.dat";   // bin -> genes (optional)

// Labels of summary.txt lines 2 to 7; each is followed by its value on the same line.
inline constexpr char MainHeaderLabel[] = "Header of the columns for main table:\t";
inline constexpr char SnpHeaderLabel[] = "Header of the columns for snp table:\t";
inline constexpr char ExtraStatsLabel[] = "number of extra trait columns\t";
inline constexpr char ExtraSnpColumnsLabel[] = "number of extra snp columns\t";
inline constexpr char TraitNumLabel[] = "Trait Num :\t ";
inline constexpr char SnpNumLabel[] = "SNP Num :\t ";

// folder + "/" + name, as every reader and writer spells it.
QString datasetFilePath(const QString &folder, const char *name);

// The file a PDF export writes for the name the user chose: ".pdf" is appended when the name
// has no extension of its own.
QString pdfExportPath(const QString &chosen);

} // namespace quillmap::files
