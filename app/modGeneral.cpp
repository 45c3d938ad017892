#include "modGeneral.h"

namespace zorvel {

std::string TrimAtNull(const std::string& text)
{
    return text.substr(0, text.find('\0')); // npos keeps the whole text
}

} // namespace zorvel
