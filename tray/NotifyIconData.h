#pragma once
// The notification record that every request to the notification area carries, with the
// request codes, field flags and event codes of the desktop's tray interface.
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <span>

namespace zorvel {

// Request codes.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

// Which fields a request carries; the tray class always sets exactly one.
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
inline constexpr std::uint32_t NIF_INFO = 16;

// Balloon icon kinds, passed on unchecked.
inline constexpr std::uint32_t NIIF_NONE = 0;
inline constexpr std::uint32_t NIIF_INFO = 1;
inline constexpr std::uint32_t NIIF_WARNING = 2;
inline constexpr std::uint32_t NIIF_ERROR = 3;

// The message under which icon events reach the window: its mouse move.
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;

// Event codes that arrive as the X coordinate of that mouse move.
inline constexpr std::int32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::int32_t WM_LBUTTONUP = 0x202;
inline constexpr std::int32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::int32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::int32_t WM_RBUTTONUP = 0x205;
inline constexpr std::int32_t WM_RBUTTONDBLCLK = 0x206;
inline constexpr std::int32_t WM_MBUTTONUP = 0x208;
inline constexpr std::int32_t NIN_BALLOONSHOW = 0x402;
inline constexpr std::int32_t NIN_BALLOONHIDE = 0x403;
inline constexpr std::int32_t NIN_BALLOONTIMEOUT = 0x404;
inline constexpr std::int32_t NIN_BALLOONUSERCLICK = 0x405;

// Size of the record in its 8-bit-text form with the balloon fields.
inline constexpr std::uint32_t notifyIconDataSize = 488;

// Text fields hold 8-bit text: the text, one NUL, then blanks up to the width. Every
// member starts at zero, as a fresh record does.
struct NotifyIconData {
    std::uint32_t cbSize = 0;
    std::uintptr_t hWnd = 0; // the window's native id; 0 names no window
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;             // a null icon stands for "no icon"
    std::array<char, 128> szTip{};
    std::uint32_t dwState = 0;
    std::uint32_t dwStateMask = 0;
    std::array<char, 256> szInfo{};
    std::uint32_t uTimeout = 0;
    std::array<char, 64> szInfoTitle{};
    std::uint32_t dwInfoFlags = 0;
};

// The 8-bit form of `text`: Latin-1, with "?" for each character Latin-1 lacks.
QByteArray ToAnsi(const QString& text);
// Fills a text field: at most width - 1 characters of text, one NUL, blanks to the end.
void FillTextField(std::span<char> field, const QString& text);
// The text a field holds: everything before its first NUL.
QString FieldText(std::span<const char> field);

} // namespace zorvel
