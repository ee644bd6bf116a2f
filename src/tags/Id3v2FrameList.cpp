#include "tags/Id3v2FrameList.h"

#include "platform/NativePath.h"
#include "tags/Id3v2Layout.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/urllinkframe.h>

#include <cerrno>
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

void add(TId3v2FrameList& list, const QString& key, const QStringList& values)
{
    for (auto& [name, existing] : list.frames)
        if (name == key) {
            existing += values;
            return;
        }
    list.frames.append({key, values});
}

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

    // TagLib reads the tag from memory: the file itself is never handed to it.
    TagLib::ByteVectorStream stream(bytes);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    const TagLib::ID3v2::Tag* tag = file.isValid() ? file.ID3v2Tag(false) : nullptr;
    if (!tag)
        return problem(QStringLiteral("the ID3v2 tag cannot be read"));
    list.present = true;
    list.version = QStringLiteral("2.%1.%2").arg(header->major).arg(header->revision);
    for (const TagLib::ID3v2::Frame* frame : tag->frameList()) {
        QString key;
        QStringList values;
        if (describe(frame, &key, &values))
            add(list, key, values);
    }
    return list;
}

}  // namespace dw
