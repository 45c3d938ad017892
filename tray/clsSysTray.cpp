#include "clsSysTray.h"

#include <QWidget>
#include <cmath>
#include <limits>

namespace zorvel {

clsSysTray::clsSysTray(NotificationArea& area, QObject* parent) : QObject(parent), area_(area) {}

clsSysTray::~clsSysTray()
{
    send(NIM_DELETE);
}

void clsSysTray::send(std::uint32_t request)
{
    area_.Shell_NotifyIcon(request, mNotifyIconData); // a refused request is not retried
}

void clsSysTray::DrawIcon(QImage& ppic, ColourRef plngTransparentColor)
{
    const std::optional<BuiltIcon> built = plngTransparentColor < 0
        ? BitmapToIcon(ppic)
        : BitmapToMaskedIcon(ppic, plngTransparentColor);
    mNotifyIconData.hIcon = built ? ToQIcon(*built) : QIcon();
    if (built)
        RefreshIcon();
}

void clsSysTray::Init(QWidget& pfrm, const QString& pstrTooltip)
{
    mNotifyIconData.cbSize = notifyIconDataSize;
    mNotifyIconData.hWnd = pfrm.winId();
    mNotifyIconData.hIcon = pfrm.windowIcon();
    mNotifyIconData.uID = 1;
    mNotifyIconData.uFlags = NIF_MESSAGE;
    mNotifyIconData.uCallbackMessage = WM_MOUSEMOVE;
    send(NIM_ADD);
    SetIcon(pfrm);
    setTooltipText(pstrTooltip);
}

void clsSysTray::MouseMove(std::int16_t, std::int32_t X, QWidget&)
{
    switch (X) {
    case WM_LBUTTONUP:
        emit LeftClick();
        break;
    case WM_LBUTTONDBLCLK:
        emit DoubleClick();
        break;
    case WM_RBUTTONUP:
        emit RightClick();
        break;
    case NIN_BALLOONHIDE:
        emit BalloonHide();
        break;
    case NIN_BALLOONTIMEOUT:
        emit BalloonTimeOut();
        break;
    case NIN_BALLOONUSERCLICK:
        emit BalloonClicked();
        break;
    default:
        break; // presses, plain moves, other buttons, the balloon appearing
    }
}

void clsSysTray::SetIcon(QWidget& pfrm)
{
    mNotifyIconData.hIcon = pfrm.windowIcon();
    RefreshIcon();
}

void clsSysTray::RefreshIcon()
{
    mNotifyIconData.uFlags = NIF_ICON;
    send(NIM_MODIFY);
}

void clsSysTray::setTooltipText(const QString& pstrTooltip)
{
    mstrTooltip = pstrTooltip;
    FillTextField(mNotifyIconData.szTip, pstrTooltip);
    mNotifyIconData.uFlags = NIF_TIP;
    send(NIM_MODIFY);
}

void clsSysTray::ShowBalloonTip(const QString& pstrMessage, std::int32_t penIcon,
                                const QString& pstrTitle, const QVariant& plngTimeout)
{
    FillTextField(mNotifyIconData.szInfo, pstrMessage);
    FillTextField(mNotifyIconData.szInfoTitle, pstrTitle);
    mNotifyIconData.uTimeout = static_cast<std::uint32_t>(ToTimeout(plngTimeout));
    mNotifyIconData.dwInfoFlags = static_cast<std::uint32_t>(penIcon);
    mNotifyIconData.uFlags = NIF_INFO;
    send(NIM_MODIFY);
}

std::int32_t ToTimeout(const QVariant& value)
{
    bool isNumber = false;
    double number = 0;
    if (value.typeId() == QMetaType::QString)
        number = value.toString().trimmed().toDouble(&isNumber);
    else if (value.canConvert<double>())
        number = value.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(number))
        throw TimeoutConversionError("balloon time-out is not a number");
    const double rounded = std::nearbyint(number); // the default mode: half to even
    if (rounded < std::numeric_limits<std::int32_t>::min()
        || rounded > std::numeric_limits<std::int32_t>::max())
        throw TimeoutConversionError("balloon time-out is out of range");
    return static_cast<std::int32_t>(rounded);
}

} // namespace zorvel
