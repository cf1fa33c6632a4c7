#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QLineEdit;
class QWidget;

namespace quillmap {

// Every modal dialog and message box of the program goes through this interface, so that tests
// can answer them in order without a nested event loop. The program uses the real dialogs.
class DialogProvider
{
public:
    virtual ~DialogProvider();

    // A message box with the given icon, title, text and buttons; returns the button chosen
    // (NoButton when the box was closed without a choice). `format` is PlainText for every text
    // that may hold names from the user's files or typing ('<', '&' shown as typed), RichText
    // only for the program's own marked-up notices.
    virtual QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                const QString &text, QMessageBox::StandardButtons buttons,
                                                Qt::TextFormat format) = 0;
    // QMessageBox::about.
    virtual void about(QWidget *parent, const QString &title, const QString &text) = 0;
    // File dialogs; an empty string means cancelled.
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                      QFileDialog::Options options) = 0;
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter) = 0;
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter) = 0;
    // Several files at once; empty when cancelled. Unless overridden, one file through
    // openFileName().
    virtual QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter);
    // Runs one of the program's own dialogs modally; returns its result code.
    virtual int exec(QDialog *dialog) = 0;

    // The provider in use; the real dialogs unless a test installed another one.
    static DialogProvider &instance();
    // Installs `provider` (not owned); null restores the real dialogs.
    static void setInstance(DialogProvider *provider);
};

// The real Qt dialogs.
class QtDialogProvider final : public DialogProvider
{
public:
    QMessageBox::StandardButton message(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                        const QString &text, QMessageBox::StandardButtons buttons,
                                        Qt::TextFormat format) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
    QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                              QFileDialog::Options options) override;
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override;
    QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                              const QString &filter) override;
    int exec(QDialog *dialog) override;

    // Gives `box` the icon, title, text, its format and the buttons of a message.
    static void fillMessageBox(QMessageBox &box, QMessageBox::Icon icon, const QString &title,
                               const QString &text, QMessageBox::StandardButtons buttons,
                               Qt::TextFormat format);
};

// Shorthands for the program's usual boxes, titled "information" unless told otherwise. Their
// text is shown as plain text, exactly as given; a Markup text is the program's own rich text.
namespace dialogs {
// Rich text written by the program (<b>...</b>); never holds a name from the user.
struct Markup {
    QString html;
};

// Information icon, single OK button.
void information(QWidget *parent, const QString &text, const QString &title = QStringLiteral("information"));
// Question icon, single Yes button; the answer is ignored.
void notice(QWidget *parent, const QString &text, const QString &title = QStringLiteral("information"));
// Question icon, Yes and No; true for Yes.
bool askYesNo(QWidget *parent, const QString &text, const QString &title = QStringLiteral("information"));
void notice(QWidget *parent, const Markup &text);
bool askYesNo(QWidget *parent, const Markup &text);
// Runs a one-line dialog (the SNP name, a plot title) through the provider: the text of `edit`
// when accepted, else the empty text; callers stop on an empty one either way.
QString acceptedText(QDialog *dialog, const QLineEdit *edit);
} // namespace dialogs

} // namespace quillmap
