#include "DisplayText.h"
#include <QStringDecoder>

namespace zorvel {

QString DisplayText(const std::string& bytes)
{
    // Stateless: an incomplete sequence at the end counts as invalid instead of being held
    // back for more input. A leading byte-order mark is kept, not swallowed.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless |
                            QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace zorvel
