#pragma once

#include <QFileDialog>

namespace quillmap {

// An open-file dialog that takes wildcard patterns typed in its name box ("*.glm.linear", or
// "results/*.regenie *.regenie.gz") as the listing's filter, as file managers do, instead of
// refusing them as a missing file. Always Qt's own dialog, so that this works on every desktop.
class PatternFileDialog final : public QFileDialog
{
    Q_OBJECT

public:
    PatternFileDialog(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                      FileMode mode);

    // The typed text as patterns: blank-separated, at least one with *, ? or [ and no quote;
    // empty when the text is a file name (or names).
    static QStringList typedPatterns(const QString &text);

protected:
    void accept() override;
};

} // namespace quillmap
