#include "Exchange.h"

#include "SimReplies.h"

namespace zorvel {

void Exchange::showReply(const std::string& reply)
{
    shown_ = HidePin(reply); // the modem echoes a PIN
    if (onReplyShown)
        onReplyShown(shown_);
}

} // namespace zorvel
