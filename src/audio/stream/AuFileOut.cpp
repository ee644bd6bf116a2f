#include "audio/stream/AuFileOut.h"

#include "audio/stream/AuConverter.h"
#include "audio/stream/AuException.h"
#include "audio/stream/AuFileIn.h"
#include "audio/stream/AuFileStream.h"
#include "audio/stream/DescriptorStream.h"
#include "audio/stream/SparseCopy.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <cerrno>

namespace dw {

TAuFileOut::TAuFileOut() = default;

TAuFileOut::~TAuFileOut() = default;

void TAuFileOut::SetFileMode(TFileOutputMode mode)
{
    FileMode = mode;
}

bool ChainReadsFile(TAuInput* input, const QString& path)
{
    // A chain is short; the bound only guards against a linked loop.
    for (int depth = 0; input && depth < 64; ++depth) {
        if (auto* file = dynamic_cast<TAuFileIn*>(input))
            return !file->GetFileName().isEmpty() && SameFile(file->GetFileName(), path);
        auto* conv = dynamic_cast<TAuConverter*>(input);
        input = conv ? conv->GetInput() : nullptr;
    }
    return false;
}

void TAuFileOut::RefuseInputAsOutput()
{
    if (ChainReadsFile(Input, FileName))
        throw EAuException(InputAsOutputMessage(FileName));
}

bool TAuFileOut::OpenDestination()
{
    LastCommitted = false;
    if (FileMode == foAppend && PathExists(FileName)) {
        SetOwnedStream(std::make_unique<TAuFileStream>(FileName, static_cast<uint16_t>(ShareMode | fmOpenReadWrite)));
        return true;
    }
    auto out = std::make_unique<TOutputFile>(FileName);
    if (!out->Create())
        throw EAuException(out->Error());
    SetOwnedStream(std::make_unique<TDescriptorStream>(out->Fd(), FileName, false));
    Pending = std::move(out);
    return false;
}

void TAuFileOut::CommitDestination()
{
    FreeOwnedStream();
    if (!Pending)
        return;
    std::unique_ptr<TOutputFile> out = std::move(Pending);
    if (BeforeCommit)
        BeforeCommit(out->TempPath());
    if (!out->Commit(true))
        throw EAuException(out->Error());
    LastCommitted = true;
}

void TAuFileOut::RewriteWithHeader(const std::vector<uint8_t>& header, int64_t dataFrom, int64_t dataTo)
{
    if (!Pending)
        throw EAuException(QString("%1: %2").arg(FileName, SystemReason(EINVAL)));
    auto next = std::make_unique<TOutputFile>(FileName);
    if (!next->Create())
        throw EAuException(next->Error());
    auto stream = std::make_unique<TDescriptorStream>(next->Fd(), FileName, false);
    stream->WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    const int64_t at = static_cast<int64_t>(header.size());
    if (const int err = CopyFileRange(Pending->Fd(), dataFrom, dataTo, next->Fd(), at))
        stream->RaiseSystem(err);
    stream->Seek(0, TSeekOrigin::soEnd);
    SetOwnedStream(std::move(stream));
    Pending = std::move(next);  // the old temporary file is removed
}

void TAuFileOut::FlushInput()
{
    try {
        if (Input)
            Input->Flush();
    } catch (const std::exception&) {
    }
}

void TAuFileOut::WindUpDestination(bool failed)
{
    FlushInput();
    if (failed || !Stream || DiscardsStoppedRun()) {
        DiscardDestination();
        return;
    }
    try {
        CommitDestination();
    } catch (const std::exception& e) {
        ReportWindUpFailure(ExceptionText(e));
    }
}

void TAuFileOut::DiscardDestination()
{
    FreeOwnedStream();
    Pending.reset();  // removes the temporary file
}

}  // namespace dw
