#pragma once
// A file input that carries tags: it owns an ID3v1, an ID3v2, an APEv2 and a
// common tag container, created and freed with it. A descendant fills them
// from its file (the Vorbis reader fills the common one from its comments).
//
// Threads: the containers are used by whoever opens the file (see TAuFileIn).

#include "audio/stream/AuFileIn.h"

#include <memory>

namespace dw {

class TAPEv2Tags;
class TCommonTags;
class TId3v1Tags;
class TId3v2Tags;

class TAuTaggedFileIn : public TAuFileIn {
public:
    TAuTaggedFileIn();
    ~TAuTaggedFileIn() override;

    TId3v1Tags& Id3v1() { return *Id3v1Tags; }
    TId3v2Tags& Id3v2() { return *Id3v2Tags; }
    TAPEv2Tags& APEv2() { return *APEv2Tags; }
    TCommonTags& Common() { return *CommonTags; }

private:
    std::unique_ptr<TId3v1Tags> Id3v1Tags;
    std::unique_ptr<TId3v2Tags> Id3v2Tags;
    std::unique_ptr<TAPEv2Tags> APEv2Tags;
    std::unique_ptr<TCommonTags> CommonTags;
};

}  // namespace dw
