#include "EntryDigest.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace zorvel {

namespace {

QByteArray bytes(std::string_view s)
{
    return QByteArray::fromRawData(s.data(), static_cast<qsizetype>(s.size()));
}

std::string asString(const QByteArray& b)
{
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

} // namespace

std::string NewContentKey()
{
    quint32 words[contentKeySize / sizeof(quint32)];
    QRandomGenerator::system()->fillRange(words);
    return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

std::string EntryDigest(const std::string& key, std::string_view content)
{
    if (key.empty())
        return PlainDigest(content);
    return asString(QMessageAuthenticationCode::hash(bytes(content), bytes(key), QCryptographicHash::Sha256));
}

std::string PlainDigest(std::string_view content)
{
    return asString(QCryptographicHash::hash(bytes(content), QCryptographicHash::Sha256));
}

} // namespace zorvel
