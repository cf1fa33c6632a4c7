#pragma once

#include "common/dialogprovider.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Answers the program's dialogs in order from a script and records what was asked. Install it
// with ScriptedDialogs::Scope so every test leaves the real provider in place again.
class ScriptedDialogs final : public quillmap::DialogProvider
{
public:
    enum class Kind { Message, About, Directory, OpenFile, SaveFile, Exec };

    struct Call {
        Kind kind = Kind::Message;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title; // message box title, or the dialog's window title for Exec
        QString text;  // message text
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format = Qt::AutoText;
        QString caption;   // file dialog caption
        QString dir;       // file dialog start folder
        QString filter;    // file dialog filter
        QString className; // Exec: the dialog's class name
    };

    // What the next dialog answers. For a message box: the button; for a file dialog: the path
    // (empty = cancel); for Exec: a function that may fill or click the dialog's widgets and
    // returns the result code.
    void answerButton(QMessageBox::StandardButton button);
    void answerPath(const QString &path);
    void answerExec(std::function<int(QDialog *)> action);
    void answerAbout();

    const QList<Call> &calls() const { return m_calls; }
    // Texts of the calls so far, each "kind|title|text|caption|filter", for compact comparisons.
    QStringList transcript() const;
    // Answers never given because no dialog asked for them.
    int pendingAnswers() const { return int(m_answers.size()); }
    // Dialogs shown with no scripted answer left (they got a cancel).
    int unexpectedCalls() const { return m_unexpected; }
    void clear();

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
    int exec(QDialog *dialog) override;

    // Installs a provider for the lifetime of the scope.
    class Scope
    {
    public:
        explicit Scope(ScriptedDialogs &dialogs) { quillmap::DialogProvider::setInstance(&dialogs); }
        ~Scope() { quillmap::DialogProvider::setInstance(nullptr); }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

private:
    struct Answer {
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        QString path;
        std::function<int(QDialog *)> action;
    };
    bool takeAnswer(Answer &answer);

    QList<Answer> m_answers;
    QList<Call> m_calls;
    int m_unexpected = 0;
};
