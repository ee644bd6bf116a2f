#include "platform/Dialogs.h"

#include <QRegularExpression>

#include <atomic>
#include <cstdio>

namespace dw {

QString ProductCaption()
{
    return QString::fromLatin1(ProductName);
}

bool AnswerFits(MessageButtons buttons, Answer answer)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return answer == Answer::Ok;
    case MessageButtons::OkCancel:
        return answer == Answer::Ok || answer == Answer::Cancel;
    case MessageButtons::YesNo:
        return answer == Answer::Yes || answer == Answer::No;
    case MessageButtons::YesNoCancel:
        return answer == Answer::Yes || answer == Answer::No || answer == Answer::Cancel;
    }
    return false;
}

namespace {

// The default a box gives when the caller's default is not one of its buttons.
Answer firstButton(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return Answer::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return Answer::Yes;
    }
    return Answer::Ok;
}

Answer fittingDefault(MessageButtons buttons, Answer defaultAnswer)
{
    return AnswerFits(buttons, defaultAnswer) ? defaultAnswer : firstButton(buttons);
}

QString answerName(Answer a)
{
    switch (a) {
    case Answer::Ok:
        return QStringLiteral("OK");
    case Answer::Cancel:
        return QStringLiteral("Cancel");
    case Answer::Yes:
        return QStringLiteral("Yes");
    case Answer::No:
        return QStringLiteral("No");
    }
    return {};
}

}  // namespace

QString QtFileFilter(const QString& filter)
{
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        description.remove(trailingPatterns);
        QStringList patterns;
        for (QString p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p.isEmpty())
                continue;
            patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
        }
        if (patterns.isEmpty())
            continue;
        if (description.isEmpty())
            description = patterns.join(QLatin1Char(' '));
        out << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

// ---- conveniences ----

void Dialogs::message(const QString& text, const QString& caption)
{
    messageBox(text, caption, MessageIcon::None, MessageButtons::Ok, Answer::Ok);
}

void Dialogs::information(const QString& text, const QString& caption)
{
    messageBox(text, caption, MessageIcon::Information, MessageButtons::Ok, Answer::Ok);
}

void Dialogs::warning(const QString& text, const QString& caption)
{
    messageBox(text, caption, MessageIcon::Warning, MessageButtons::Ok, Answer::Ok);
}

void Dialogs::error(const QString& text, const QString& caption)
{
    messageBox(text, caption, MessageIcon::Error, MessageButtons::Ok, Answer::Ok);
}

bool Dialogs::askYesNo(const QString& text, Answer defaultAnswer, MessageIcon icon, const QString& caption)
{
    return messageBox(text, caption, icon, MessageButtons::YesNo, defaultAnswer) == Answer::Yes;
}

Answer Dialogs::askYesNoCancel(const QString& text, Answer defaultAnswer, MessageIcon icon, const QString& caption)
{
    return messageBox(text, caption, icon, MessageButtons::YesNoCancel, defaultAnswer);
}

bool Dialogs::askOkCancel(const QString& text, Answer defaultAnswer, MessageIcon icon, const QString& caption)
{
    return messageBox(text, caption, icon, MessageButtons::OkCancel, defaultAnswer) == Answer::Ok;
}

QString Dialogs::chooseOpenFile(const QString& title, const QString& startFolder, const QString& filter)
{
    const QStringList files = chooseOpenFiles(title, startFolder, filter, false);
    return files.isEmpty() ? QString() : files.first();
}

// ---- NonInteractiveDialogs ----

NonInteractiveDialogs::NonInteractiveDialogs(Policy policy, Sink sink) : policy_(policy), sink_(std::move(sink)) {}

void NonInteractiveDialogs::emitLine(const QString& line)
{
    if (sink_) {
        sink_(line);
        return;
    }
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}

Answer NonInteractiveDialogs::messageBox(const QString& text, const QString& caption, MessageIcon icon,
                                         MessageButtons buttons, Answer defaultAnswer)
{
    Answer answer = fittingDefault(buttons, defaultAnswer);
    if (buttons != MessageButtons::Ok) {
        if (policy_ == Policy::AlwaysYes)
            answer = buttons == MessageButtons::OkCancel ? Answer::Ok : Answer::Yes;
        else if (policy_ == Policy::AlwaysNo)
            answer = buttons == MessageButtons::OkCancel ? Answer::Cancel : Answer::No;
    }
    QString line = caption.isEmpty() ? QString() : caption + QStringLiteral(": ");
    if (icon == MessageIcon::Warning)
        line += QStringLiteral("warning: ");
    else if (icon == MessageIcon::Error)
        line += QStringLiteral("error: ");
    line += text;
    if (buttons != MessageButtons::Ok)
        line += QStringLiteral(" [") + answerName(answer) + QLatin1Char(']');
    emitLine(line);
    return answer;
}

QString NonInteractiveDialogs::chooseFolder(const QString&, const QString&)
{
    return {};
}

QStringList NonInteractiveDialogs::chooseOpenFiles(const QString&, const QString&, const QString&, bool)
{
    return {};
}

QString NonInteractiveDialogs::chooseSaveFile(const QString&, const QString&, const QString&, const QString&)
{
    return {};
}

// ---- ScriptedDialogs ----

void ScriptedDialogs::queueAnswer(Answer answer)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void ScriptedDialogs::queueFolder(const QString& folder)
{
    std::lock_guard lock(mutex_);
    folders_.push_back(folder);
}

void ScriptedDialogs::queueFiles(const QStringList& files)
{
    std::lock_guard lock(mutex_);
    files_.push_back(files);
}

void ScriptedDialogs::queueSaveFile(const QString& file)
{
    std::lock_guard lock(mutex_);
    saveFiles_.push_back(file);
}

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::shown() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

QStringList ScriptedDialogs::texts() const
{
    std::lock_guard lock(mutex_);
    QStringList out;
    for (const Shown& s : shown_)
        if (s.kind == Kind::Box)
            out << s.text;
    return out;
}

int ScriptedDialogs::unscripted() const
{
    std::lock_guard lock(mutex_);
    return unscripted_;
}

void ScriptedDialogs::clear()
{
    std::lock_guard lock(mutex_);
    answers_.clear();
    folders_.clear();
    files_.clear();
    saveFiles_.clear();
    shown_.clear();
    unscripted_ = 0;
}

Answer ScriptedDialogs::messageBox(const QString& text, const QString& caption, MessageIcon icon,
                                   MessageButtons buttons, Answer defaultAnswer)
{
    std::lock_guard lock(mutex_);
    Answer answer = fittingDefault(buttons, defaultAnswer);
    if (buttons != MessageButtons::Ok) {
        if (!answers_.empty() && AnswerFits(buttons, answers_.front())) {
            answer = answers_.front();
            answers_.pop_front();
        } else {
            ++unscripted_;
        }
    }
    Shown s;
    s.kind = Kind::Box;
    s.text = text;
    s.caption = caption;
    s.icon = icon;
    s.buttons = buttons;
    s.defaultAnswer = defaultAnswer;
    s.answer = answer;
    shown_.push_back(s);
    return answer;
}

QString ScriptedDialogs::chooseFolder(const QString& prompt, const QString& startFolder)
{
    std::lock_guard lock(mutex_);
    Shown s;
    s.kind = Kind::Folder;
    s.text = prompt;
    s.start = startFolder;
    shown_.push_back(s);
    if (folders_.empty()) {
        ++unscripted_;
        return {};
    }
    QString folder = folders_.front();
    folders_.pop_front();
    return folder;
}

QStringList ScriptedDialogs::chooseOpenFiles(const QString& title, const QString& startFolder,
                                             const QString& filter, bool multiple)
{
    std::lock_guard lock(mutex_);
    Shown s;
    s.kind = Kind::OpenFiles;
    s.text = title;
    s.start = startFolder;
    s.filter = filter;
    shown_.push_back(s);
    if (files_.empty()) {
        ++unscripted_;
        return {};
    }
    QStringList files = files_.front();
    files_.pop_front();
    if (!multiple && files.size() > 1)
        files = files.mid(0, 1);
    return files;
}

QString ScriptedDialogs::chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                                        const QString&)
{
    std::lock_guard lock(mutex_);
    Shown s;
    s.kind = Kind::SaveFile;
    s.text = title;
    s.start = startPath;
    s.filter = filter;
    shown_.push_back(s);
    if (saveFiles_.empty()) {
        ++unscripted_;
        return {};
    }
    QString file = saveFiles_.front();
    saveFiles_.pop_front();
    return file;
}

// ---- the current instance ----

namespace {
std::atomic<Dialogs*> current{nullptr};

Dialogs& defaultDialogs()
{
    static NonInteractiveDialogs instance;
    return instance;
}
}  // namespace

Dialogs& CurrentDialogs()
{
    Dialogs* d = current.load();
    return d ? *d : defaultDialogs();
}

Dialogs* SetCurrentDialogs(Dialogs* dialogs)
{
    return current.exchange(dialogs);
}

}  // namespace dw
