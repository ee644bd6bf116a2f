#pragma once
// Message boxes, questions and file choosers, as the program's core asks for
// them. The core never shows a window itself: it asks the current Dialogs
// instance, which the GUI answers with Qt dialogs, the command line with its
// flags or defaults, and tests with scripted answers.
//
// All calls are made on the main thread.

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace dw {

// The product name: caption of every message box unless a caller names another.
inline constexpr char ProductName[] = "Discwright";
QString ProductCaption();

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// True when the answer is one of the buttons of the box.
bool AnswerFits(MessageButtons buttons, Answer answer);

// Turns a filter of the form "Sound file(*.wav)|*.wav| Any file(*.*)|*.*"
// (description, pattern, description, pattern, ...; patterns separated by ";")
// into the Qt form "Sound file (*.wav);;Any file (*)". "*.*" means any file.
// A filter without "|" is taken to be in the Qt form already.
QString QtFileFilter(const QString& filter);

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The one primitive for boxes: shows text under caption with the icon and
    // buttons, defaultAnswer being the default button; gives the button pressed.
    // A box closed without a button gives Cancel, No or Ok (in this preference)
    // as far as the box has them.
    virtual Answer messageBox(const QString& text, const QString& caption, MessageIcon icon,
                              MessageButtons buttons, Answer defaultAnswer) = 0;

    // A folder chooser showing prompt, starting at startFolder. Empty when cancelled.
    virtual QString chooseFolder(const QString& prompt, const QString& startFolder) = 0;

    // An open-file chooser (filter as for QtFileFilter). Gives the chosen files
    // in the order the chooser returns them; empty when cancelled. With multiple
    // false at most one file is given.
    virtual QStringList chooseOpenFiles(const QString& title, const QString& startFolder, const QString& filter,
                                        bool multiple) = 0;

    // A save-file chooser; defaultSuffix (without dot) is added to a name
    // without extension. Empty when cancelled.
    virtual QString chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                                   const QString& defaultSuffix) = 0;

    // Conveniences over messageBox; the caption is the product name unless given.
    void message(const QString& text, const QString& caption = ProductCaption());  // no icon, OK
    void information(const QString& text, const QString& caption = ProductCaption());
    void warning(const QString& text, const QString& caption = ProductCaption());
    void error(const QString& text, const QString& caption = ProductCaption());
    // Yes/No question; true for Yes.
    bool askYesNo(const QString& text, Answer defaultAnswer = Answer::Yes,
                  MessageIcon icon = MessageIcon::Question, const QString& caption = ProductCaption());
    Answer askYesNoCancel(const QString& text, Answer defaultAnswer = Answer::Yes,
                          MessageIcon icon = MessageIcon::Question, const QString& caption = ProductCaption());
    // OK/Cancel question; true for OK.
    bool askOkCancel(const QString& text, Answer defaultAnswer = Answer::Ok,
                     MessageIcon icon = MessageIcon::Question, const QString& caption = ProductCaption());
    // A single file to open; empty when cancelled.
    QString chooseOpenFile(const QString& title, const QString& startFolder, const QString& filter);
};

// Shows nothing: writes every message as one line (caption, kind, text) to a
// sink (stderr by default), answers each question by its policy and cancels
// every file chooser. The process-wide default, and the command line's.
class NonInteractiveDialogs : public Dialogs {
public:
    enum class Policy { Defaults, AlwaysYes, AlwaysNo };
    using Sink = std::function<void(const QString& line)>;

    explicit NonInteractiveDialogs(Policy policy = Policy::Defaults, Sink sink = {});

    Answer messageBox(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons,
                      Answer defaultAnswer) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;
    QStringList chooseOpenFiles(const QString& title, const QString& startFolder, const QString& filter,
                                bool multiple) override;
    QString chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                           const QString& defaultSuffix) override;

private:
    void emitLine(const QString& line);
    Policy policy_;
    Sink sink_;
};

// For tests: answers from queues and records everything shown. A box with
// only an OK button never takes a queued answer. When the queue is empty, or
// its next answer is not a button of the box, the box gets its default answer
// and unscripted() counts it; a chooser with nothing queued is cancelled and
// counted the same way (queue an empty choice to script a cancel).
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Box, Folder, OpenFiles, SaveFile };
    struct Shown {
        Kind kind = Kind::Box;
        QString text;     // box text, or the chooser's prompt or title
        QString caption;  // box caption
        MessageIcon icon = MessageIcon::None;
        MessageButtons buttons = MessageButtons::Ok;
        Answer defaultAnswer = Answer::Ok;
        Answer answer = Answer::Ok;  // what the box gave
        QString start;               // chooser start folder or path
        QString filter;              // chooser filter as passed
    };

    void queueAnswer(Answer answer);
    void queueFolder(const QString& folder);       // empty = cancelled
    void queueFiles(const QStringList& files);     // empty = cancelled
    void queueSaveFile(const QString& file);       // empty = cancelled

    std::vector<Shown> shown() const;
    QStringList texts() const;  // the text of every box shown, in order
    int unscripted() const;
    void clear();

    Answer messageBox(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons,
                      Answer defaultAnswer) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;
    QStringList chooseOpenFiles(const QString& title, const QString& startFolder, const QString& filter,
                                bool multiple) override;
    QString chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                           const QString& defaultSuffix) override;

private:
    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::deque<QString> folders_;
    std::deque<QStringList> files_;
    std::deque<QString> saveFiles_;
    std::vector<Shown> shown_;
    int unscripted_ = 0;
};

// The process-wide instance every part of the program asks. Until one is set,
// a NonInteractiveDialogs with default answers (messages to stderr) serves.
Dialogs& CurrentDialogs();
// Makes dialogs the current instance (not owned; it must outlive its use);
// nullptr returns to the default. Gives the instance set before (nullptr for the default).
Dialogs* SetCurrentDialogs(Dialogs* dialogs);

// Sets an instance for the lifetime of the guard and restores the previous one.
class ScopedDialogs {
public:
    explicit ScopedDialogs(Dialogs& dialogs) : previous_(SetCurrentDialogs(&dialogs)) {}
    ~ScopedDialogs() { SetCurrentDialogs(previous_); }
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

private:
    Dialogs* previous_;
};

}  // namespace dw
