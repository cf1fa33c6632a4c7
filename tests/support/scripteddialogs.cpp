#include "support/scripteddialogs.h"

#include <QDialog>

using namespace quillmap;

void ScriptedDialogs::answerButton(QMessageBox::StandardButton button)
{
    Answer a;
    a.button = button;
    m_answers.append(a);
}

void ScriptedDialogs::answerPath(const QString &path)
{
    Answer a;
    a.path = path;
    m_answers.append(a);
}

void ScriptedDialogs::answerExec(std::function<int(QDialog *)> action)
{
    Answer a;
    a.action = std::move(action);
    m_answers.append(a);
}

void ScriptedDialogs::answerAbout()
{
    m_answers.append(Answer());
}

QStringList ScriptedDialogs::transcript() const
{
    static const char *const kinds[] = {"message", "about", "directory", "open", "save", "exec"};
    QStringList lines;
    for (const Call &c : m_calls)
        lines << QStringList{QLatin1String(kinds[int(c.kind)]), c.title, c.text, c.caption, c.filter}.join(
            QLatin1Char('|'));
    return lines;
}

void ScriptedDialogs::clear()
{
    m_answers.clear();
    m_calls.clear();
    m_unexpected = 0;
}

bool ScriptedDialogs::takeAnswer(Answer &answer)
{
    if (m_answers.isEmpty()) {
        ++m_unexpected;
        return false;
    }
    answer = m_answers.takeFirst();
    return true;
}

QMessageBox::StandardButton ScriptedDialogs::message(QWidget *, QMessageBox::Icon icon, const QString &title,
                                                     const QString &text,
                                                     QMessageBox::StandardButtons buttons,
                                                     Qt::TextFormat format)
{
    Call c;
    c.kind = Kind::Message;
    c.icon = icon;
    c.title = title;
    c.text = text;
    c.buttons = buttons;
    c.format = format;
    m_calls.append(c);
    Answer a;
    if (!takeAnswer(a))
        return QMessageBox::NoButton;
    return a.button;
}

void ScriptedDialogs::about(QWidget *, const QString &title, const QString &text)
{
    Call c;
    c.kind = Kind::About;
    c.title = title;
    c.text = text;
    m_calls.append(c);
    Answer a;
    takeAnswer(a);
}

QString ScriptedDialogs::existingDirectory(QWidget *, const QString &caption, const QString &dir,
                                           QFileDialog::Options)
{
    Call c;
    c.kind = Kind::Directory;
    c.caption = caption;
    c.dir = dir;
    m_calls.append(c);
    Answer a;
    return takeAnswer(a) ? a.path : QString();
}

QString ScriptedDialogs::openFileName(QWidget *, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    Call c;
    c.kind = Kind::OpenFile;
    c.caption = caption;
    c.dir = dir;
    c.filter = filter;
    m_calls.append(c);
    Answer a;
    return takeAnswer(a) ? a.path : QString();
}

QString ScriptedDialogs::saveFileName(QWidget *, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    Call c;
    c.kind = Kind::SaveFile;
    c.caption = caption;
    c.dir = dir;
    c.filter = filter;
    m_calls.append(c);
    Answer a;
    return takeAnswer(a) ? a.path : QString();
}

int ScriptedDialogs::exec(QDialog *dialog)
{
    Call c;
    c.kind = Kind::Exec;
    c.title = dialog->windowTitle();
    c.className = QString::fromLatin1(dialog->metaObject()->className());
    m_calls.append(c);
    Answer a;
    if (!takeAnswer(a) || !a.action)
        return QDialog::Rejected;
    return a.action(dialog);
}
