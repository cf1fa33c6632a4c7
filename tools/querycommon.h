#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace quillmap {
class DatasetTables;
}

// What quillmap-query's commands share: messages and exit codes, option parsing, TSV output.
namespace quillmap::query {

void printError(const QString &text);
int usageError(const QString &text, const char *usage); // prints, returns 2
int datasetError(const QString &text);                  // prints, returns 3
int outputError();                                      // standard output failed; returns 3

struct Options {
    QStringList positional;
    QHash<QString, QString> values; // "--name" -> value

    bool contains(const QString &name) const { return values.contains(name); }
    QString value(const QString &name) const { return values.value(name); }
};

// Splits `args` into positional arguments and the named options (each takes one value, as
// "--name value" or "--name=value"). An unknown option or one without its value: nullopt with
// the reason in `problem`.
std::optional<Options> parseOptions(const QStringList &args, const QStringList &named, QString *problem);

// --window as whole bp, 0 or more: `fallback` when absent, nullopt when it is not one.
std::optional<qint64> windowOption(const Options &options, qint64 fallback);

// Trait index of an exact name; -1 when absent.
int traitIndexOf(const DatasetTables &tables, const QString &name);
// Position bin of a region: chromosome "1".."22", "X" (also "23" or with "chr"), whole Mb 0..999.
std::optional<int> regionBinOf(const QString &chromosome, const QString &megabase);

// A table cell as text: numbers as the table view shows them (6 significant digits).
QString cellText(const QVariant &value);

// TSV on standard output: fields joined by tabs (tabs and line ends inside a field become
// blanks), lines ended by "\n", written in large blocks; every write is checked.
class TsvWriter final
{
public:
    TsvWriter() = default;
    TsvWriter(const TsvWriter &) = delete;
    TsvWriter &operator=(const TsvWriter &) = delete;

    bool row(const QStringList &fields);
    // Lines already in TSV form.
    bool lines(QByteArrayView text);
    bool finish(); // writes what is left and flushes

private:
    bool flushBlock();

    QByteArray m_block;
    bool m_ok = true;
};

} // namespace quillmap::query
