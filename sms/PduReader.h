#pragma once
// What every decoder of a PDU from the modem needs: the hex turned into octets, fields
// taken off the front with every take checked against what is left, and an address
// (TP-OA, TP-RA) in the form a modem in text mode prints it.
#include <optional>
#include <string>
#include <string_view>

namespace zorvel {

// Nothing for an empty or odd count of digits, or a digit that is not hexadecimal.
std::optional<std::string> HexToBytes(std::string_view hex);

class PduReader {
public:
    explicit PduReader(std::string_view bytes) : rest_(bytes) {}
    bool Octet(unsigned& value)
    {
        if (rest_.empty())
            return false;
        value = static_cast<unsigned char>(rest_.front());
        rest_.remove_prefix(1);
        return true;
    }
    bool Take(std::size_t count, std::string_view& field)
    {
        if (count > rest_.size())
            return false;
        field = rest_.substr(0, count);
        rest_.remove_prefix(count);
        return true;
    }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

// `digits` counts semi-octets. Type of number 101 is alphanumeric, packed 7-bit in the
// default alphabet (digits * 4 / 7 septets); 001 international gets a "+".
std::string PduAddress(unsigned digits, unsigned type, std::string_view octets);

} // namespace zorvel
