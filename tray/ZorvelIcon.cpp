#include "ZorvelIcon.h"

namespace zorvel {

QIcon ZorvelIcon()
{
    return QIcon(QStringLiteral(":/icons/zorvel.ico")); // both sizes of the file
}

} // namespace zorvel
