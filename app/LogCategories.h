#pragma once
// The log's categories. Info and above show by default; debug is off until switched on,
// for example QT_LOGGING_RULES="zorvel.modem.debug=true".
//   zorvel.app      start, signals, end
//   zorvel.config   what was read from zorvel.ini (never the key), configuration errors
//   zorvel.modem    the port; at debug level every command and reply
//   zorvel.forward  each forwarding, its outcome and the delete that follows
#include <QLoggingCategory>

namespace zorvel {

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
Q_DECLARE_LOGGING_CATEGORY(lcModem)
Q_DECLARE_LOGGING_CATEGORY(lcForward)
Q_DECLARE_LOGGING_CATEGORY(lcSend)

} // namespace zorvel
