#pragma once
// How messages are read and forwarded, settled once from zorvel.ini: as the modem's text
// mode gives them, as raw PDUs, or decoded from PDUs (real sender, UTF-8, long messages
// joined).
#include <string>

#include "InboxDecoder.h"

namespace zorvel {

enum class MessageMode { Text, Pdu, Decoded };

// PDUmode and Decode as the file gives them: Decode=1 wins, then PDUmode=1; anything
// else is text mode.
inline MessageMode MessageModeOf(const std::string& pduMode, bool decode)
{
    return decode ? MessageMode::Decoded : pduMode == "1" ? MessageMode::Pdu : MessageMode::Text;
}

// The modem's format: decoding reads PDUs.
inline MessageFormat FormatOf(MessageMode mode)
{
    return mode == MessageMode::Text ? MessageFormat::Text : MessageFormat::Pdu;
}

} // namespace zorvel
