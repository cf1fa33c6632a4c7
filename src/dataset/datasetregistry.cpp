#include "dataset/datasetregistry.h"

#include "io/atomicfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace {

constexpr qint64 MaxStoreBytes = qint64(64) << 20;
constexpr int LockWaitMs = 60000;

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The file's bytes when it is a regular file. Opened without blocking and checked on the open
// descriptor, so a FIFO or device put in its place is refused, never waited on.
bool readStore(const QString &path, QByteArray &bytes)
{
    bytes.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxStoreBytes;
    if (ok) {
        bytes.resize(qsizetype(info.st_size));
        qsizetype got = 0;
        while (ok && got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            got += ok ? qsizetype(n) : 0;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}

struct Line {
    QByteArray text;
    bool general; // in the settings' general section
};

QList<Line> storeLines(const QByteArray &bytes)
{
    QList<Line> lines;
    bool general = true; // keys before any section header belong to it
    for (QByteArray text : bytes.split('\n')) {
        if (text.endsWith('\r'))
            text.chop(1);
        const QByteArray trimmed = text.trimmed();
        if (trimmed.startsWith('['))
            general = trimmed == "[General]";
        lines.append({text, general});
    }
    if (!lines.isEmpty() && lines.last().text.isEmpty())
        lines.removeLast();
    return lines;
}

bool isPathKey(const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    return equals > 0 && line.left(equals).trimmed() == "path";
}

// The toolkit's text form of a string list: entries separated by commas, each optionally in
// double quotes, with C-style escapes (\n, \x41, \101...) and a ';' starting a comment.
QStringList unescapedList(QByteArrayView value)
{
    QStringList entries;
    QString current;
    QByteArray raw;       // bytes not yet decoded from UTF-8
    QByteArray spaces;    // unquoted blanks, kept only when more text follows
    bool started = false; // the entry has text (leading blanks are dropped)
    bool quoted = false;
    auto flushRaw = [&]() {
        current += QString::fromUtf8(raw);
        raw.clear();
    };
    auto text = [&](char c) {
        raw += spaces;
        spaces.clear();
        raw += c;
        started = true;
    };
    auto unit = [&](char16_t c) {
        raw += spaces;
        spaces.clear();
        flushRaw();
        current += QChar(c);
        started = true;
    };
    auto endEntry = [&]() {
        flushRaw();
        entries.append(current);
        current.clear();
        spaces.clear();
        started = false;
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"') {
            quoted = !quoted;
            raw += spaces;
            spaces.clear();
            started = true;
        } else if (c == '\\' && i + 1 < value.size()) {
            const char e = value[++i];
            switch (e) {
            case 'a':
                unit(u'\a');
                break;
            case 'b':
                unit(u'\b');
                break;
            case 'f':
                unit(u'\f');
                break;
            case 'n':
                unit(u'\n');
                break;
            case 'r':
                unit(u'\r');
                break;
            case 't':
                unit(u'\t');
                break;
            case 'v':
                unit(u'\v');
                break;
            case 'x': {
                char16_t code = 0;
                while (i + 1 < value.size() && isHexDigit(char16_t(value[i + 1])))
                    code = char16_t(code * 16 + hexValue(value[++i]));
                unit(code);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    char16_t code = char16_t(e - '0');
                    while (i + 1 < value.size() && value[i + 1] >= '0' && value[i + 1] <= '7')
                        code = char16_t(code * 8 + (value[++i] - '0'));
                    unit(code);
                } else {
                    text(e); // \" \' \? \\ and anything unknown stand for themselves
                }
            }
        } else if (!quoted && c == ',') {
            endEntry();
        } else if (!quoted && c == ';') {
            break;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (started)
                spaces += c;
        } else {
            text(c);
        }
    }
    endEntry();
    return entries;
}

void appendEscaped(const QString &entry, QByteArray &out)
{
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    // Text that starts with '@' would be read back as a typed value: the toolkit doubles it.
    QString text = entry.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + entry : entry;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u';' || c == u',' || c == u'=')
            needsQuotes = true;
        if (escapeNextIfHex && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(uint(c), 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (c) {
        case u'\0':
            out += "\\0";
            escapeNextIfHex = true;
            break;
        case u'\a':
            out += "\\a";
            break;
        case u'\b':
            out += "\\b";
            break;
        case u'\f':
            out += "\\f";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        case u'\v':
            out += "\\v";
            break;
        case u'"':
            out += "\\\"";
            break;
        case u'\\':
            out += "\\\\";
            break;
        default:
            if (c <= 0x1F) {
                out += "\\x" + QByteArray::number(uint(c), 16);
                escapeNextIfHex = true;
            } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
                out += text.mid(i, 2).toUtf8();
                ++i;
            } else {
                out += QString(QChar(c)).toUtf8();
            }
        }
    }
    if (needsQuotes || (start < out.size() && (out.at(start) == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

QByteArray pathLine(const QStringList &folders)
{
    QByteArray line = "path=";
    if (folders.isEmpty())
        return line + "@Invalid()";
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (i > 0)
            line += ", ";
        appendEscaped(folders.at(i), line);
    }
    return line;
}

QStringList foldersIn(const QByteArray &bytes)
{
    QStringList folders;
    for (const Line &line : storeLines(bytes)) {
        if (!line.general || !isPathKey(line.text))
            continue;
        // The last line for the key wins, as when the toolkit reads it.
        const QByteArray value = line.text.mid(line.text.indexOf('=') + 1);
        folders = unescapedList(value);
    }
    QStringList kept;
    for (QString &folder : folders) {
        if (folder.startsWith(QStringLiteral("@@")))
            folder.remove(0, 1);
        // Typed values (@Invalid(), @Variant(...)) and entries that no folder dialog could have
        // returned are debris of a damaged file.
        if (QDir::isAbsolutePath(folder))
            kept.append(folder);
    }
    return kept;
}

QByteArray withFolders(const QByteArray &bytes, const QStringList &folders)
{
    QByteArray out;
    bool written = false;
    bool sawGeneral = false;
    for (const Line &line : storeLines(bytes)) {
        if (line.general && isPathKey(line.text))
            continue;
        out += line.text + '\n';
        if (!written && line.general && line.text.trimmed() == "[General]") {
            out += pathLine(folders) + '\n';
            written = true;
        }
        sawGeneral = sawGeneral || line.general;
    }
    if (!written)
        out = "[General]\n" + pathLine(folders) + '\n' + (out.isEmpty() ? QByteArray() : '\n' + out);
    return out;
}

// Holds the settings file's lock (the name the toolkit's own settings code locks) while a list
// is read, changed and written back.
class StoreLock final
{
public:
    explicit StoreLock(const QString &store)
        : m_lock(store + QStringLiteral(".lock"))
    {
        QDir().mkpath(QFileInfo(store).absolutePath());
        // Short tries: one long try backs off to seconds between attempts, and a dozen
        // imports finishing at once would starve some of them.
        QElapsedTimer waited;
        waited.start();
        while (!m_locked && waited.elapsed() < LockWaitMs)
            m_locked = m_lock.tryLock(150);
    }
    bool locked() const { return m_locked; }

private:
    QLockFile m_lock;
    bool m_locked = false;
};

bool writeLocked(const QString &store, const QByteArray &before, const QStringList &folders, QString *error)
{
    struct stat info;
    if (::stat(QFile::encodeName(store).constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file").arg(store);
        return false;
    }
    return quillmap::AtomicFile::writeWhole(store, withFolders(before, folders), error);
}

registrystore::Update update(const QString &folder, bool adding)
{
    registrystore::Update result;
    const QString store = registrystore::storePath();
    StoreLock lock(store);
    QByteArray bytes;
    const bool readable = readStore(store, bytes);
    result.folders = foldersIn(bytes);
    if (adding && !result.folders.contains(folder, Qt::CaseSensitive))
        result.folders.append(folder);
    if (!adding)
        result.folders.removeOne(folder);
    if (!lock.locked()) {
        result.error = QStringLiteral("the list of datasets in %1 is locked by another program").arg(store);
    } else if (!readable) {
        // Rewriting a file that could not be read would lose whatever it held.
        result.error = QStringLiteral("%1 cannot be read").arg(store);
    } else {
        result.saved = writeLocked(store, bytes, result.folders, &result.error);
    }
    return result;
}

} // namespace

namespace registrystore {

QString storePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Diravizi/Quillmap.conf");
}

QStringList read()
{
    QByteArray bytes;
    readStore(storePath(), bytes);
    return foldersIn(bytes);
}

bool write(const QStringList &folders, QString *error)
{
    const QString store = storePath();
    StoreLock lock(store);
    QByteArray bytes;
    if (!lock.locked() || !readStore(store, bytes)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read or locked").arg(store);
        return false;
    }
    return writeLocked(store, bytes, folders, error);
}

Update add(const QString &folder)
{
    return update(folder, true);
}

Update remove(const QString &folder)
{
    return update(folder, false);
}

} // namespace registrystore

} // namespace quillmap
