#include "widgets/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace dw {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton qtButton(Answer answer)
{
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

// The answer of a box closed without a button: Cancel, No or Ok as far as it has them.
Answer closedAnswer(MessageButtons buttons)
{
    if (AnswerFits(buttons, Answer::Cancel))
        return Answer::Cancel;
    if (AnswerFits(buttons, Answer::No))
        return Answer::No;
    return Answer::Ok;
}

}  // namespace

Answer QtDialogs::messageBox(const QString& text, const QString& caption, MessageIcon icon,
                             MessageButtons buttons, Answer defaultAnswer)
{
    QMessageBox box(qtIcon(icon), caption, text, qtButtons(buttons), QApplication::activeWindow());
    if (AnswerFits(buttons, defaultAnswer))
        box.setDefaultButton(qtButton(defaultAnswer));
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return closedAnswer(buttons);
    }
}

QString QtDialogs::chooseFolder(const QString& prompt, const QString& startFolder)
{
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(), prompt, startFolder);
}

QStringList QtDialogs::chooseOpenFiles(const QString& title, const QString& startFolder, const QString& filter,
                                       bool multiple)
{
    QWidget* owner = QApplication::activeWindow();
    const QString qtFilter = QtFileFilter(filter);
    if (multiple)
        return QFileDialog::getOpenFileNames(owner, title, startFolder, qtFilter);
    const QString file = QFileDialog::getOpenFileName(owner, title, startFolder, qtFilter);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

QString QtDialogs::chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                                  const QString& defaultSuffix)
{
    QFileDialog dialog(QApplication::activeWindow(), title, startPath, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QString suffix = defaultSuffix;
    while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    if (!suffix.isEmpty())
        dialog.setDefaultSuffix(suffix);
    // The callers ask their own overwrite question in the program's words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace dw
