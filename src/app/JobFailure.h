#pragma once
// How a piece of a job failed, kept apart from the flow status (done,
// stopped, failed): what kind of step failed, the file it concerns and the
// reason. Text() is the message a front end shows: "<file>: <reason>".

#include <QString>

namespace dw {

struct TJobFailure {
    enum class Kind {
        None,     // nothing failed
        Refused,  // checked before anything ran (existing output, output is an input, bad input)
        Read,     // reading the disc or an input file
        Write,    // creating, writing or putting an output in place
        Encode,   // the encoder (in-process or a child process) failed
        Tag,      // the audio is complete, its tags or values could not be written
        Network,  // a lookup could not reach its server
    };
    Kind kind = Kind::None;
    QString file;
    QString reason;

    bool Failed() const { return kind != Kind::None; }
    QString Text() const { return file.isEmpty() ? reason : file + QStringLiteral(": ") + reason; }
};

}  // namespace dw
