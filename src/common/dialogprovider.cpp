#include "common/dialogprovider.h"

#include "common/patternfiledialog.h"

#include <QDialog>
#include <QLineEdit>

namespace quillmap {

namespace {
DialogProvider *installedProvider = nullptr;
}

DialogProvider::~DialogProvider() = default;

DialogProvider &DialogProvider::instance()
{
    static QtDialogProvider real;
    return installedProvider ? *installedProvider : real;
}

void DialogProvider::setInstance(DialogProvider *provider)
{
    installedProvider = provider;
}

QMessageBox::StandardButton QtDialogProvider::message(QWidget *parent, QMessageBox::Icon icon,
                                                      const QString &title, const QString &text,
                                                      QMessageBox::StandardButtons buttons,
                                                      Qt::TextFormat format)
{
    QMessageBox box(parent);
    fillMessageBox(box, icon, title, text, buttons, format);
    return QMessageBox::StandardButton(box.exec());
}

void QtDialogProvider::fillMessageBox(QMessageBox &box, QMessageBox::Icon icon, const QString &title,
                                      const QString &text, QMessageBox::StandardButtons buttons,
                                      Qt::TextFormat format)
{
    box.setIcon(icon);
    box.setWindowTitle(title);
    // Before the text: the box picks its word wrap from the format.
    box.setTextFormat(format);
    box.setText(text);
    box.setStandardButtons(buttons);
}

void QtDialogProvider::about(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::about(parent, title, text);
}

QString QtDialogProvider::existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                            QFileDialog::Options options)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}

QString QtDialogProvider::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                       const QString &filter)
{
    PatternFileDialog dialog(parent, caption, dir, filter, QFileDialog::ExistingFile);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtDialogProvider::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                       const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QStringList DialogProvider::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    const QString path = openFileName(parent, caption, dir, filter);
    return path.isEmpty() ? QStringList() : QStringList{path};
}

QStringList QtDialogProvider::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                            const QString &filter)
{
    PatternFileDialog dialog(parent, caption, dir, filter, QFileDialog::ExistingFiles);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

int QtDialogProvider::exec(QDialog *dialog)
{
    return dialog->exec();
}

namespace dialogs {

namespace {
const QString DefaultTitle = QStringLiteral("information");

bool askQuestion(QWidget *parent, const QString &text, const QString &title, Qt::TextFormat format)
{
    return DialogProvider::instance().message(parent, QMessageBox::Question, title, text,
                                              QMessageBox::Yes | QMessageBox::No, format)
        == QMessageBox::Yes;
}
} // namespace

void information(QWidget *parent, const QString &text, const QString &title)
{
    DialogProvider::instance().message(parent, QMessageBox::Information, title, text, QMessageBox::Ok,
                                       Qt::PlainText);
}

void notice(QWidget *parent, const QString &text, const QString &title)
{
    DialogProvider::instance().message(parent, QMessageBox::Question, title, text, QMessageBox::Yes,
                                       Qt::PlainText);
}

bool askYesNo(QWidget *parent, const QString &text, const QString &title)
{
    return askQuestion(parent, text, title, Qt::PlainText);
}

void notice(QWidget *parent, const Markup &text)
{
    DialogProvider::instance().message(parent, QMessageBox::Question, DefaultTitle, text.html,
                                       QMessageBox::Yes, Qt::RichText);
}

bool askYesNo(QWidget *parent, const Markup &text)
{
    return askQuestion(parent, text.html, DefaultTitle, Qt::RichText);
}

QString acceptedText(QDialog *dialog, const QLineEdit *edit)
{
    return DialogProvider::instance().exec(dialog) == QDialog::Accepted ? edit->text() : QString();
}

} // namespace dialogs

} // namespace quillmap
