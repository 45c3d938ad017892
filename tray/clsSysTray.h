#pragma once
// The program's one notification-area icon: adds it for a window, shows the window's icon
// or a drawn one, sets its tool tip, shows a balloon beside it, turns the codes the
// desktop reports into six events, and removes the icon when the object ends.
#include <QObject>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <stdexcept>

#include "IconBuilding.h"
#include "NotificationArea.h"
#include "NotifyIconData.h"

class QImage;
class QWidget;

namespace zorvel {

// A balloon time-out that is not a 32-bit number.
class TimeoutConversionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class clsSysTray : public QObject {
    Q_OBJECT
public:
    // Requests go to `area`, which must outlive the object.
    explicit clsSysTray(NotificationArea& area, QObject* parent = nullptr);
    // Removes the icon: a delete request with the record as it is, also without Init.
    ~clsSysTray() override;

    // Shows an icon built from `ppic` (changed in place when a colour is transparent).
    // A picture that cannot be read changes nothing in the tray; the caller is not told.
    void DrawIcon(QImage& ppic, ColourRef plngTransparentColor = -1);
    // Adds the icon for `pfrm` with that window's icon and the tool tip: add, icon, tip.
    void Init(QWidget& pfrm, const QString& pstrTooltip);
    // `X` is the event code; `Button` and `pfrm` are accepted for the window's call only.
    void MouseMove(std::int16_t Button, std::int32_t X, QWidget& pfrm);
    void SetIcon(QWidget& pfrm);
    // `plngTimeout`: a number or numeric text in milliseconds. Throws
    // TimeoutConversionError when it is neither; text and title are then already set.
    void ShowBalloonTip(const QString& pstrMessage, std::int32_t penIcon = NIIF_NONE,
                        const QString& pstrTitle = QString(), const QVariant& plngTimeout = 30000);
    QString TooltipText() const { return mstrTooltip; }
    void setTooltipText(const QString& pstrTooltip);

    const NotifyIconData& record() const { return mNotifyIconData; }

signals:
    void LeftClick();
    void RightClick();
    void DoubleClick();
    void BalloonHide();
    void BalloonTimeOut();
    void BalloonClicked();

private:
    void RefreshIcon();
    void send(std::uint32_t request);

    NotificationArea& area_;
    QString mstrTooltip;
    NotifyIconData mNotifyIconData;
};

// A balloon time-out as a 32-bit integer: numbers and numeric text, rounded half to even.
std::int32_t ToTimeout(const QVariant& value);

} // namespace zorvel
