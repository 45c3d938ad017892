#include "LogCategories.h"

namespace zorvel {

// QtInfoMsg: debug messages are off unless a logging rule switches them on.
Q_LOGGING_CATEGORY(lcApp, "zorvel.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfig, "zorvel.config", QtInfoMsg)
Q_LOGGING_CATEGORY(lcModem, "zorvel.modem", QtInfoMsg)
Q_LOGGING_CATEGORY(lcForward, "zorvel.forward", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSend, "zorvel.send", QtInfoMsg)

} // namespace zorvel
