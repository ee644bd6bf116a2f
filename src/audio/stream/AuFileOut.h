#pragma once
// An output that writes a named file, rewriting or appending.
//
// Rewriting goes to a temporary file in the destination folder that is
// renamed over the final name when the run is complete, so an existing file
// is replaced whole or not at all and a symbolic link at the destination is
// replaced, never written through. A stopped run leaves nothing under the
// final name and an existing file as it was, unless the owner asked to keep
// what a stopped run wrote (SetKeepStopped). Appending writes the existing
// file in place; the descendant restores it on failure or stop.
//
// Threads: properties on the main thread while idle; the protected helpers
// run on the worker (Prepare/Done).

#include "audio/stream/AuStreamedOutput.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dw {

class TOutputFile;

enum TFileOutputMode { foRewrite, foAppend };

class TAuFileOut : public TAuStreamedOutput {
public:
    TAuFileOut();
    ~TAuFileOut() override;

    const QString& GetFileName() const { return FileName; }
    void SetFileName(const QString& fileName) { FileName = fileName; }
    TFileOutputMode GetFileMode() const { return FileMode; }
    virtual void SetFileMode(TFileOutputMode mode);
    // Sharing bits used when an existing file is opened for appending
    // (TAuFileStream mode ShareMode | fmOpenReadWrite).
    uint16_t GetShareMode() const { return ShareMode; }
    void SetShareMode(uint16_t mode) { ShareMode = mode; }
    // Whether a run cut short by Stop still puts what it wrote in place (a
    // one-file conversion that keeps the part done). Off: a stopped run is
    // discarded like a failed one.
    bool GetKeepStopped() const { return KeepStopped; }
    void SetKeepStopped(bool keep) { KeepStopped = keep; }
    // Whether the last run put its file in place under FileName (false from
    // Run until then). Read once the output is idle, e.g.
    // after Stop(false): a run may have ended whole just before the stop.
    bool LastRunCommitted() const { return LastCommitted; }

    // Called on the output's thread with the complete temporary file just
    // before it is put in place under FileName (a rewrite run that ended
    // well; not for an appended file), so that values known only at the end
    // (a measured loudness) go into the file without copying it afterwards.
    // It must not raise; what it cannot do it reports by its own means.
    std::function<void(const QString& tempPath)> BeforeCommit;

protected:
    // A new run has put nothing in place yet, also when it fails before it
    // opens its destination.
    void RunStarting() override { LastCommitted = false; }
    // Raises EAuException "<file>: ..." when FileName names the same file
    // (same path, another spelling, a symbolic or hard link) as a file input
    // anywhere up the chain. Nothing has been written when it raises.
    void RefuseInputAsOutput();
    // Opens the destination as Stream: the existing file itself when
    // appending to one (returns true), else a new temporary file.
    bool OpenDestination();
    // Puts the temporary file in place under FileName. The stream must be
    // complete; it is released. Raises EAuException "<file>: <reason>"
    // when the file cannot be put in place (the temporary file is removed).
    void CommitDestination();
    // Releases the stream and removes an uncommitted temporary file.
    void DiscardDestination();
    bool WritingTemporary() const { return Pending != nullptr; }
    // The end of a rewrite run in Done: flushes the input (its errors no
    // longer matter), then puts the file in place, or removes it when the run
    // failed, was stopped (DiscardsStoppedRun) or nothing was opened. A
    // failure to put it in place is reported as the run's failure.
    void WindUpDestination(bool failed);
    // Whether the run being wound up was stopped and its output is to go.
    bool DiscardsStoppedRun() const { return RunStopped && !KeepStopped; }
    // Flushes the input, swallowing what it raises: the run is over.
    void FlushInput();
    // Replaces the temporary file by a new one that holds `header` followed
    // by bytes [dataFrom, dataTo) of the old one (holes stay holes); Stream
    // then writes the new file and stands at its end. Raises EAuException
    // "<file>: <reason>" on failure.
    void RewriteWithHeader(const std::vector<uint8_t>& header, int64_t dataFrom, int64_t dataTo);

    QString FileName;
    TFileOutputMode FileMode = foRewrite;
    uint16_t ShareMode = 0;
    bool KeepStopped = false;

private:
    std::unique_ptr<TOutputFile> Pending;
    std::atomic<bool> LastCommitted{false};
};

// Whether the file `path` is read by a file input anywhere up the chain
// that starts at `input` (through converters). Used by the outputs and by
// the conversion set-up, which refuses before starting.
bool ChainReadsFile(TAuInput* input, const QString& path);

}  // namespace dw
