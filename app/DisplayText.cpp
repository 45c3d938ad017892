#include "DisplayText.h"

namespace zorvel {
QString DisplayText(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
} // namespace zorvel
