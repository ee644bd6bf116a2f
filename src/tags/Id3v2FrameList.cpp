#include "tags/Id3v2FrameList.h"

#include "platform/NativePath.h"
#include "tags/GenreText.h"
#include "tags/Id3v2Layout.h"

#include <QHash>
#include <QJsonArray>
#include <QVariantMap>

#include <taglib/commentsframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/textidentificationframe.h>
#include <taglib/urllinkframe.h>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

QString fromTagLib(const TagLib::String& s) { return QString::fromStdWString(s.toWString()); }

QStringList fromTagLib(const TagLib::StringList& list)
{
    QStringList out;
    for (const TagLib::String& s : list)
        out << fromTagLib(s);
    return out;
}

// Reads size bytes at offset, continuing short reads; false on an error or
// an early end of file (errno 0 then).
bool readAt(int fd, char* data, int64_t size, int64_t offset)
{
    int64_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        done += got;
    }
    return true;
}

// Gathers the frames under their keys in tag order; a key seen before gets
// the values added to its entry, found through an index so that a tag of many
// frames costs time in proportion to their number.
class TFrameGatherer {
public:
    explicit TFrameGatherer(TId3v2FrameList& list) : list_(list) {}

    void Add(const QString& key, const QStringList& values)
    {
        const auto found = index_.constFind(key);
        if (found != index_.constEnd()) {
            list_.frames[*found].second += values;
            return;
        }
        index_.insert(key, list_.frames.size());
        list_.frames.append({key, values});
    }

private:
    TId3v2FrameList& list_;
    QHash<QString, qsizetype> index_;
};

// The key and values of one frame; false for frames that hold no text
// (pictures, private data, counters, ...).
bool describe(const TagLib::ID3v2::Frame* frame, QString* key, QStringList* values)
{
    using namespace TagLib::ID3v2;
    const QString id = QString::fromLatin1(frame->frameID().data(), int(frame->frameID().size()));
    if (auto* user = dynamic_cast<const UserTextIdentificationFrame*>(frame)) {
        *key = QStringLiteral("TXXX:") + fromTagLib(user->description());
        *values = fromTagLib(user->fieldList()).mid(1);  // the first field is the description
        return true;
    }
    if (auto* text = dynamic_cast<const TextIdentificationFrame*>(frame)) {
        *key = id;
        *values = fromTagLib(text->fieldList());
        if (id == QLatin1String("TCON"))
            for (QString& genre : *values)
                genre = GenreDisplayText(genre);
        return true;
    }
    if (auto* comment = dynamic_cast<const CommentsFrame*>(frame)) {
        const TagLib::ByteVector lang = comment->language();
        *key = QStringLiteral("COMM:%1:%2")
                   .arg(fromTagLib(comment->description()), QString::fromLatin1(lang.data(), int(lang.size())));
        *values = QStringList{fromTagLib(comment->text())};
        return true;
    }
    if (auto* userLink = dynamic_cast<const UserUrlLinkFrame*>(frame)) {
        *key = QStringLiteral("WXXX:") + fromTagLib(userLink->description());
        *values = QStringList{fromTagLib(userLink->url())};
        return true;
    }
    if (auto* link = dynamic_cast<const UrlLinkFrame*>(frame)) {
        *key = id;
        *values = QStringList{fromTagLib(link->url())};
        return true;
    }
    return false;
}

// Decodes the frames of the tag held in bytes (header included) one by one:
// our own walk finds each frame by the sizes, TagLib decodes the frame's
// text. A damaged frame (a bad name, no data, or one TagLib cannot decode)
// is stepped over when its size fits in the tag; a frame larger than what is
// left ends the walk, keeping what came before it.
void walkFrames(const TagLib::ByteVector& bytes, const id3v2::Header& header, TId3v2FrameList& list)
{
    const TagLib::ID3v2::Header tagHeader(bytes.mid(0, id3v2::kHeaderSize));
    // The frames end before a footer.
    TagLib::ByteVector body = bytes.mid(id3v2::kHeaderSize, header.size);
    // Versions before 2.4 unsynchronise the tag as a whole; 2.4 frame by frame.
    if (header.major < 4 && header.Unsynchronised())
        body = TagLib::ID3v2::SynchData::decode(body);
    const int64_t end = body.size();
    int64_t pos = 0;
    if (header.HasExtendedHeader()) {
        if (end < 4)
            return;
        const auto* e = reinterpret_cast<const uint8_t*>(body.data());
        pos = header.major == 3 ? 4 + int64_t(id3v2::ReadBigEndian(e, 4)) : int64_t(id3v2::ReadSyncsafe(e));
    }
    const int headerSize = id3v2::FrameHeaderSize(header.major);
    const TagLib::ID3v2::FrameFactory* factory = TagLib::ID3v2::FrameFactory::instance();
    TFrameGatherer gather(list);
    while (pos >= 0 && end - pos >= headerSize) {
        const auto* p = reinterpret_cast<const uint8_t*>(body.data()) + pos;
        const id3v2::FrameHeader frame = id3v2::ReadFrameHeader(p, header.major);
        const int64_t left = end - pos - headerSize;
        const id3v2::FrameStep step = id3v2::NextFrameStep(frame, p[0], left);
        if (step == id3v2::FrameStep::End)
            break;
        if (step == id3v2::FrameStep::Read) {
            const TagLib::ByteVector frameBytes =
                body.mid(static_cast<unsigned int>(pos), static_cast<unsigned int>(headerSize + int64_t(frame.size)));
            const std::unique_ptr<TagLib::ID3v2::Frame> decoded(factory->createFrame(frameBytes, &tagHeader));
            QString key;
            QStringList values;
            if (decoded && describe(decoded.get(), &key, &values))
                gather.Add(key, values);
        }
        pos += headerSize + int64_t(frame.size);
    }
}

}  // namespace

TId3v2FrameList ListId3v2Frames(int fd, const QString& path)
{
    TId3v2FrameList list;
    const auto problem = [&](const QString& reason) {
        list.problem = path + QStringLiteral(": ") + reason;
        return list;
    };

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return problem(SystemReason(errno));
    const int64_t fileSize = st.st_size;

    uint8_t head[id3v2::kHeaderSize] = {};
    const int64_t headBytes = std::min<int64_t>(fileSize, id3v2::kHeaderSize);
    if (headBytes < 3 || !readAt(fd, reinterpret_cast<char*>(head), headBytes, 0))
        return list;  // too short for a tag, or unreadable: the other readers report it
    if (head[0] != 'I' || head[1] != 'D' || head[2] != '3')
        return list;
    const std::optional<id3v2::Header> header = id3v2::ParseHeader(head, size_t(headBytes));
    if (!header) {
        if (headBytes < id3v2::kHeaderSize)
            return problem(QStringLiteral("the ID3v2 header is cut short (%1 of %2 bytes)")
                               .arg(headBytes)
                               .arg(id3v2::kHeaderSize));
        return problem(QStringLiteral("the ID3v2 header is damaged (version 2.%1.%2, flags 0x%3, size bytes %4)")
                           .arg(head[3])
                           .arg(head[4])
                           .arg(head[5], 2, 16, QLatin1Char('0'))
                           .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(head + 6), 4)
                                                        .toHex(' '))));
    }
    const int64_t total = header->TotalLength();
    if (total > fileSize)
        return problem(QStringLiteral("the ID3v2 tag claims %1 bytes but the file has only %2").arg(total).arg(fileSize));
    if (total > kMaxListedId3v2Tag)
        return problem(QStringLiteral("the ID3v2 tag of %1 bytes is too large to list (at most %2)")
                           .arg(total)
                           .arg(kMaxListedId3v2Tag));

    TagLib::ByteVector bytes(static_cast<unsigned int>(total), '\0');
    if (!readAt(fd, bytes.data(), total, 0))
        return problem(errno ? SystemReason(errno) : QStringLiteral("the file ended inside the ID3v2 tag"));

    list.present = true;
    list.version = QStringLiteral("2.%1.%2").arg(header->major).arg(header->revision);
    walkFrames(bytes, *header, list);
    return list;
}

QJsonObject FramesAsJson(const TId3v2FrameList& list)
{
    // Inserting into a QJsonObject one key at a time moves the keys after
    // the new one; a sorted map is turned into the object in one pass.
    QVariantMap sorted;
    for (const auto& [key, values] : list.frames)
        sorted.insert(key, values.size() == 1 ? QVariant(values.first()) : QVariant(values));
    return QJsonObject::fromVariantMap(sorted);
}

}  // namespace dw
