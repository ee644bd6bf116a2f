#pragma once
// The one exception class raised by every stream component. It carries a
// plain English message that is shown as it is (never translated).

#include <QString>

#include <exception>
#include <stdexcept>
#include <string>

namespace dw {

class EAuException : public std::runtime_error {
public:
    explicit EAuException(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    explicit EAuException(const char* message)
        : EAuException(QString::fromUtf8(message)) {}
    explicit EAuException(const std::string& message)
        : EAuException(QString::fromStdString(message)) {}

    // The message as given to the constructor.
    const QString& Message() const noexcept { return message_; }

private:
    QString message_;
};

// The message of any standard exception: the EAuException message as given,
// otherwise what() read as UTF-8.
inline QString ExceptionText(const std::exception& e)
{
    if (const auto* au = dynamic_cast<const EAuException*>(&e))
        return au->Message();
    return QString::fromUtf8(e.what());
}

}  // namespace dw
