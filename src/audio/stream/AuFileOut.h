#pragma once
// An output that writes a named file, rewriting or appending.

#include "audio/stream/AuStreamedOutput.h"

#include <QString>

#include <cstdint>

namespace dw {

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

protected:
    QString FileName;
    TFileOutputMode FileMode = foRewrite;
    uint16_t ShareMode = 0;
};

}  // namespace dw
