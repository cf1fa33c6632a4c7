#include "common/patternfiledialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>

namespace quillmap {

PatternFileDialog::PatternFileDialog(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter, FileMode mode)
    : QFileDialog(parent, caption, dir, filter)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(mode);
}

QStringList PatternFileDialog::typedPatterns(const QString &text)
{
    if (text.contains(u'"'))
        return {};
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    const bool wild = std::any_of(words.cbegin(), words.cend(), [](const QString &word) {
        return word.contains(u'*') || word.contains(u'?') || word.contains(u'[');
    });
    return wild ? words : QStringList();
}

void PatternFileDialog::accept()
{
    auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QStringList patterns = edit ? typedPatterns(edit->text()) : QStringList();
    if (patterns.isEmpty() || QFileInfo::exists(directory().absoluteFilePath(edit->text().trimmed()))) {
        QFileDialog::accept();
        return;
    }
    // A folder written before the first pattern is opened ("results/*.linear").
    const qsizetype slash = patterns.first().lastIndexOf(u'/');
    if (slash >= 0) {
        const QString folder = patterns.first().left(slash + 1);
        setDirectory(QDir(directory().absoluteFilePath(folder)).absolutePath());
        patterns.first().remove(0, slash + 1);
    }
    const QString typed = tr("Typed (%1)").arg(patterns.join(u' '));
    QStringList filters = nameFilters();
    filters.removeIf([](const QString &f) { return f.startsWith(tr("Typed (")); });
    filters.prepend(typed);
    setNameFilters(filters);
    selectNameFilter(typed);
    edit->clear();
}

} // namespace quillmap
