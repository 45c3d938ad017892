#include "DestAddress.h"

#include <QString>
#include <QUrl>

namespace zorvel {

std::optional<std::string> DestProblem(const std::string& dest)
{
    for (char ch : dest) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '#')
            return "which holds a '#': everything after it would never be sent";
        if (c <= ' ' || c == 0x7F)
            return "which holds a blank or a control character";
    }
    const QString text = QString::fromUtf8(dest.data(), static_cast<qsizetype>(dest.size()));
    // Bytes that are no UTF-8 would go out as other bytes than were written.
    if (text.toUtf8() != QByteArray::fromStdString(dest))
        return "which is not UTF-8 text";
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return "which is not a valid web address";
    if (url.scheme() != "http" && url.scheme() != "https")
        return "which is not an http or https address";
    if (url.host().isEmpty())
        return "which names no host";
    return std::nullopt;
}

} // namespace zorvel
