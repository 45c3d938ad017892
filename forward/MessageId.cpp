#include "MessageId.h"

#include <QUuid>

namespace zorvel {

std::string NewMessageId()
{
    // Version 4, from the system's random source; lower-case without braces.
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

} // namespace zorvel
