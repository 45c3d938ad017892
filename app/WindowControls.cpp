#include "WindowControls.h"
#include "DisplayWidgets.h"
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zorvel {

namespace {

// 8.25 pt and 9.75 pt at 96 dpi.
constexpr int normalPixels = 11;
constexpr int largePixels = 13;

Qt::Alignment horizontal(TextAlign align)
{
    switch (align) {
    case TextAlign::Centre: return Qt::AlignHCenter;
    case TextAlign::Right: return Qt::AlignRight;
    case TextAlign::Left: break;
    }
    return Qt::AlignLeft;
}

QFont fontFor(FontStyle style)
{
    QFont font = windowFont();
    if (style == FontStyle::LargeBold)
        font.setPixelSize(largePixels);
    font.setBold(style != FontStyle::Normal);
    return font;
}

// Black and opaque: an opaque widget repaints without the status box beneath it.
void makeBlackBackground(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, Qt::black);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QWidget* createDisplayField(const ControlDef& def, QWidget* parent)
{
    auto* field = new DisplayField(horizontal(def.align) | Qt::AlignVCenter, parent);
    makeBlackBackground(field);
    return field;
}

QWidget* createStatusBox(QWidget* parent)
{
    auto* box = new StatusBox(parent);
    makeBlackBackground(box);
    return box;
}

QWidget* createLabel(const ControlDef& def, QWidget* parent)
{
    auto* label = new QLabel(parent);
    // Labels show text from outside (SMS, sender): never interpret it as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(horizontal(def.align) | Qt::AlignTop);
    if (def.caption)
        label->setText(QString::fromUtf8(def.caption));
    if (def.textColour) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, toQColor(*def.textColour));
        label->setPalette(palette);
    }
    return label;
}

QWidget* createLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    return line;
}

QWidget* createSignalBar(QWidget* parent)
{
    auto* bar = new QWidget(parent);
    bar->setAutoFillBackground(true);
    return bar;
}

QWidget* createWidget(const ControlDef& def, QWidget* parent)
{
    switch (def.kind) {
    case ControlKind::DisplayField: return createDisplayField(def, parent);
    case ControlKind::StatusBox: return createStatusBox(parent);
    case ControlKind::SignalBar: return createSignalBar(parent);
    case ControlKind::InputBox: return new QLineEdit(parent);
    case ControlKind::Button: return new QPushButton(QString::fromUtf8(def.caption), parent);
    case ControlKind::Label: return createLabel(def, parent);
    case ControlKind::Line: return createLine(parent);
    }
    return nullptr;
}

} // namespace

QFont windowFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(normalPixels);
    return font;
}

QWidget* createControl(const ControlDef& def, QWidget* parent)
{
    QWidget* widget = createWidget(def, parent);
    widget->setObjectName(QString::fromLatin1(def.name));
    QRect rect = pixelRect(def);
    if (def.kind == ControlKind::Line)
        rect.setHeight(1); // drawn with zero height; one pixel of line
    widget->setGeometry(rect);
    if (def.font != FontStyle::Normal)
        widget->setFont(fontFor(def.font));
    if (def.accessibleName) {
        const QString what = QString::fromUtf8(def.accessibleName);
        // A screen reader reads a label's name instead of its text; keep the text as the
        // name there and say what it is in the description.
        if (def.kind == ControlKind::Label)
            widget->setAccessibleDescription(what);
        else
            widget->setAccessibleName(what);
    }
    return widget;
}

void setTextColour(QWidget* widget, Rgb colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, toQColor(colour));
    widget->setPalette(palette);
}

void setFillColour(QWidget* widget, Rgb colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    widget->setPalette(palette);
}

} // namespace zorvel
