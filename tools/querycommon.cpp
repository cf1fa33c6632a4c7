#include "querycommon.h"

#include "dataset/chromosome.h"
#include "dataset/datasettables.h"

#include <QMetaType>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillmap::query {

void printError(const QString &text)
{
    std::fprintf(stderr, "quillmap-query: %s\n", text.toLocal8Bit().constData());
}

int usageError(const QString &text, const char *usage)
{
    printError(text);
    std::fputs(usage, stderr);
    return 2;
}

int datasetError(const QString &text)
{
    printError(text);
    return 3;
}

int outputError()
{
    printError(QStringLiteral("the output cannot be written"));
    return 3;
}

std::optional<Options> parseOptions(const QStringList &args, const QStringList &named, QString *problem)
{
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!arg.startsWith(u"--") || arg.size() == 2) {
            options.positional << arg;
            continue;
        }
        const qsizetype equals = arg.indexOf(u'=');
        const QString name = equals < 0 ? arg : arg.left(equals);
        if (!named.contains(name)) {
            *problem = QStringLiteral("unknown option %1").arg(name);
            return std::nullopt;
        }
        if (equals >= 0) {
            options.values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            options.values.insert(name, args[++i]);
        } else {
            *problem = QStringLiteral("%1 needs a value").arg(name);
            return std::nullopt;
        }
    }
    return options;
}

int traitIndexOf(const DatasetTables &tables, const QString &name)
{
    // IDlist.dat is sorted by the plain string order.
    const auto found = std::lower_bound(tables.traitNames.cbegin(), tables.traitNames.cend(), name);
    if (found == tables.traitNames.cend() || *found != name)
        return -1;
    return int(found - tables.traitNames.cbegin());
}

std::optional<int> regionBinOf(const QString &chromosome, const QString &megabase)
{
    const std::optional<int> number = parseChromosome(QStringView(chromosome), ChromosomeSpelling::Tool);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!number || !digits.match(megabase).hasMatch())
        return std::nullopt;
    return *number * 1000 + megabase.toInt();
}

std::optional<qint64> windowOption(const Options &options, qint64 fallback)
{
    if (!options.contains(QStringLiteral("--window")))
        return fallback;
    bool ok = false;
    const qint64 window = options.value(QStringLiteral("--window")).toLongLong(&ok);
    return ok && window >= 0 ? std::optional<qint64>(window) : std::nullopt;
}

QString cellText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return QString::number(value.toDouble(), 'g', 6);
    return value.toString();
}

bool TsvWriter::row(const QStringList &fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_block += '\t';
        QByteArray bytes = fields[i].toUtf8();
        bytes.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
        m_block += bytes;
    }
    m_block += '\n';
    return m_block.size() < (1 << 20) || flushBlock();
}

bool TsvWriter::lines(QByteArrayView text)
{
    // A large text goes out as it is rather than through a copy.
    if (text.size() >= (1 << 16) && flushBlock()) {
        if (std::fwrite(text.data(), 1, size_t(text.size()), stdout) != size_t(text.size()))
            m_ok = false;
        return m_ok;
    }
    m_block += text;
    return m_block.size() < (1 << 20) || flushBlock();
}

bool TsvWriter::flushBlock()
{
    if (m_ok && !m_block.isEmpty()
        && std::fwrite(m_block.constData(), 1, size_t(m_block.size()), stdout) != size_t(m_block.size()))
        m_ok = false;
    m_block.clear();
    return m_ok;
}

bool TsvWriter::finish()
{
    return flushBlock() && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

} // namespace quillmap::query
