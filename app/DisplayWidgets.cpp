#include "DisplayWidgets.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QtMath>

namespace zorvel {

namespace {

constexpr int sideMargin = 2;   // like a frameless line edit
constexpr int boxMargin = 4;    // like a plain text box's document margin

void prepare(QWidget* widget)
{
    // Everything is painted by the widget itself: nothing beneath needs repainting.
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->setFocusPolicy(Qt::NoFocus);
}

QStaticText staticText(const QString& text, const QFont& font, int wrapWidth = -1)
{
    QStaticText laidOut(text);
    laidOut.setTextFormat(Qt::PlainText); // text from outside is never markup
    laidOut.setTextWidth(wrapWidth);
    laidOut.prepare(QTransform(), font);
    return laidOut;
}

} // namespace

DisplayField::DisplayField(Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), alignment_(alignment)
{
    prepare(this);
}

void DisplayField::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    laidOut_.reset(); // laid out when next painted: a hidden window costs nothing
    setAccessibleDescription(text_);
    update();
    emit textChanged(text_);
}

void DisplayField::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        laidOut_.reset();
    QWidget::changeEvent(event);
}

void DisplayField::paintEvent(QPaintEvent*)
{
    if (!laidOut_)
        laidOut_ = staticText(text_, font());
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QSizeF size = laidOut_->size();
    const int room = width() - 2 * sideMargin;
    int x = sideMargin;
    // A text wider than the field shows its start, whatever the alignment.
    if (size.width() < room) {
        if (alignment_ & Qt::AlignRight)
            x = width() - sideMargin - qCeil(size.width());
        else if (alignment_ & Qt::AlignHCenter)
            x = (width() - qCeil(size.width())) / 2;
    }
    const int y = (height() - qCeil(size.height())) / 2;
    painter.setPen(palette().color(QPalette::Text));
    painter.drawStaticText(x, y, *laidOut_);
}

StatusBox::StatusBox(QWidget* parent) : QWidget(parent)
{
    prepare(this);
}

void StatusBox::setPlainText(const QString& raw)
{
    // CR LF and the echo's CR CR LF are one line break; a lone CR would start a line.
    QString text = raw;
    text.remove(QLatin1Char('\r'));
    if (text == text_)
        return;
    text_ = text;
    laidOut_ = false; // laid out when next painted
    setAccessibleDescription(text_);
    update();
}

void StatusBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        laidOut_ = false;
    QWidget::changeEvent(event);
}

void StatusBox::layOut()
{
    laidOut_ = true;
    lines_.clear();
    for (const QString& line : text_.split(QLatin1Char('\n')))
        lines_.push_back(staticText(line, font(), width() - 2 * boxMargin));
}

void StatusBox::paintEvent(QPaintEvent* event)
{
    if (!laidOut_)
        layOut();
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    const int lineHeight = fontMetrics().lineSpacing();
    int y = boxMargin;
    for (const QStaticText& line : lines_) {
        if (y >= height())
            break;
        painter.drawStaticText(boxMargin, y, line);
        y += std::max(lineHeight, qCeil(line.size().height()));
    }
}

} // namespace zorvel
