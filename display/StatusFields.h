#pragma once
// The gateway's display state: every text and colour the window shows, held without any
// widget so that it can be written (by StatusPresenter) and tested without a display.
// The window listens for changes; setting a field to the value it already has notifies
// nobody.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace zorvel {

enum class Field {
    txtReady,
    txtLastCheck,
    txtStatus,
    txtPhoneNo,
    txtCounter,
    txtSYSINFO,
    txtIMEI,
    txtIMSI,
    txtSignal,
    txtNetName,
    txtPDUmode,
    lblSMSstamp,
    lblSMS,
    lblForwardProblem,
    picS1,
    picS2,
    picS3,
    picS4,
    picS5,
    Count
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

namespace colours {
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb red{255, 0, 0};
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb darkGrey{64, 64, 64};
inline constexpr Rgb lightGreen{192, 255, 192};
} // namespace colours

class StatusFields {
public:
    StatusFields();

    // Texts are the modem's bytes as received (or our own ASCII); the window decides how
    // to show them.
    const std::string& text(Field f) const { return texts_[index(f)]; }
    void setText(Field f, std::string value);

    // Text colour for text fields, fill colour for the signal bars.
    Rgb colour(Field f) const { return colours_[index(f)]; }
    void setColour(Field f, Rgb value);

    bool visible(Field f) const { return visible_[index(f)]; }
    void setVisible(Field f, bool value);

    std::function<void(Field)> onChanged;

private:
    static std::size_t index(Field f) { return static_cast<std::size_t>(f); }
    void changed(Field f);

    static constexpr std::size_t count = static_cast<std::size_t>(Field::Count);
    std::array<std::string, count> texts_;
    std::array<Rgb, count> colours_;
    std::array<bool, count> visible_;
};

} // namespace zorvel
