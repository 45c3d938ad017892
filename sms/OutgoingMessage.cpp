#include "OutgoingMessage.h"

namespace zorvel {

OutgoingCommands BuildOutgoingCommands(const std::string& number, const std::string& text)
{
    return {"AT+CMGF=1\r\n", "AT+CMGS=\"" + number + "\"\r\n", text + '\x1a'};
}

} // namespace zorvel
