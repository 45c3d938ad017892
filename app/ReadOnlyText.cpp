#include "ReadOnlyText.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QtMath>
#include <climits>
#include <utility>
#include "ReadOnlyTextAccessible.h"

namespace zorvel {

namespace {

// QStaticText's line width for a text that is not wrapped.
constexpr qreal unwrapped = INT_MAX / 256;

QString withShortcut(const QString& caption, QKeySequence::StandardKey key)
{
    const QString keys = QKeySequence(key).toString(QKeySequence::NativeText);
    return keys.isEmpty() ? caption : caption + QLatin1Char('\t') + keys;
}

} // namespace

ReadOnlyText::ReadOnlyText(bool multiLine, QWidget* parent)
    : QWidget(parent), multiLine_(multiLine)
{
    installReadOnlyTextAccessible();
    // Everything is painted by the widget itself: nothing beneath needs repainting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives the keys for copying; the Tab key stays with the operator's input.
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
}

ReadOnlyText::~ReadOnlyText() = default;

QStaticText ReadOnlyText::prepareGlyphs(const QString& text, const QFont& font, int wrapWidth)
{
    QStaticText glyphs(text);
    glyphs.setTextFormat(Qt::PlainText); // text from outside is never markup
    glyphs.setTextWidth(wrapWidth);
    glyphs.prepare(QTransform(), font);
    return glyphs;
}

bool ReadOnlyText::replaceText(const QString& text)
{
    if (text == text_)
        return false;
    const bool hadSelection = hasSelectedText();
    const QString old = std::exchange(text_, text);
    anchor_ = cursor_ = 0;
    dragging_ = false;
    invalidateLayout(); // laid out when next painted: a hidden window costs nothing
    update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, old, text_);
        QAccessible::updateAccessibility(&event);
    }
    if (hadSelection)
        emit selectionChanged();
    return true;
}

void ReadOnlyText::invalidateLayout()
{
    laidOut_ = false;
    paragraphs_.clear();
}

std::vector<ReadOnlyText::Paragraph>& ReadOnlyText::paragraphs() const
{
    if (!laidOut_) {
        paragraphs_ = placeParagraphs();
        laidOut_ = true;
    }
    return paragraphs_;
}

// The lines QStaticText makes of a paragraph, as a layout that can find and paint single
// characters.
QTextLayout& ReadOnlyText::layoutOf(Paragraph& paragraph, const QFont& font)
{
    if (paragraph.layout)
        return *paragraph.layout;
    paragraph.layout = std::make_unique<QTextLayout>(paragraph.glyphs.text(), font);
    QTextLayout& layout = *paragraph.layout;
    layout.setTextOption(paragraph.glyphs.textOption());
    layout.setCacheEnabled(true);
    const qreal wrapWidth = paragraph.glyphs.textWidth();
    const qreal width = wrapWidth >= 0 ? wrapWidth : unwrapped;
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        if (line.leading() < 0)
            y += qCeil(line.leading());
    }
    layout.endLayout();
    return layout;
}

ReadOnlyText::Paragraph& ReadOnlyText::paragraphAt(qreal y) const
{
    std::vector<Paragraph>& all = paragraphs();
    Paragraph* found = &all.front();
    for (Paragraph& paragraph : all) {
        if (paragraph.topLeft.y() > y || paragraph.topLeft.y() >= height())
            break;
        found = &paragraph;
    }
    return *found;
}

ReadOnlyText::Paragraph& ReadOnlyText::paragraphOf(int offset) const
{
    std::vector<Paragraph>& all = paragraphs();
    Paragraph* found = &all.front();
    for (Paragraph& paragraph : all) {
        if (paragraph.start > offset)
            break;
        found = &paragraph;
    }
    return *found;
}

int ReadOnlyText::offsetAt(QPointF point) const
{
    Paragraph& paragraph = paragraphAt(point.y());
    const QTextLayout& layout = layoutOf(paragraph, font());
    if (layout.lineCount() == 0)
        return paragraph.start;
    const QPointF local = point - paragraph.topLeft;
    QTextLine line = layout.lineAt(0);
    for (int i = 1; i < layout.lineCount() && local.y() >= layout.lineAt(i).y(); ++i)
        line = layout.lineAt(i);
    return paragraph.start + line.xToCursor(local.x());
}

QRect ReadOnlyText::characterRect(int offset) const
{
    if (offset < 0 || offset >= text_.size())
        return {};
    Paragraph& paragraph = paragraphOf(offset);
    const int local = offset - paragraph.start;
    const QTextLine line = layoutOf(paragraph, font()).lineForTextPosition(local);
    if (!line.isValid())
        return {};
    const qreal left = line.cursorToX(local);
    const qreal right = line.cursorToX(local + 1);
    const QRectF box(QPointF(std::min(left, right), line.y()),
                     QPointF(std::max(left, right), line.y() + line.height()));
    return box.translated(paragraph.topLeft).toAlignedRect();
}

QString ReadOnlyText::selectedText() const
{
    return text_.mid(selectionStart(), selectionEnd() - selectionStart());
}

void ReadOnlyText::moveSelection(int anchor, int cursor)
{
    const int end = static_cast<int>(text_.size());
    anchor = std::clamp(anchor, 0, end);
    cursor = std::clamp(cursor, 0, end);
    if (anchor == anchor_ && cursor == cursor_)
        return;
    anchor_ = anchor;
    cursor_ = cursor;
    update();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent event(this, selectionStart(), selectionEnd());
        event.setCursorPosition(cursor_);
        QAccessible::updateAccessibility(&event);
    }
    emit selectionChanged();
}

void ReadOnlyText::setSelection(int anchor, int cursor) { moveSelection(anchor, cursor); }
void ReadOnlyText::selectAll() { moveSelection(0, static_cast<int>(text_.size())); }
void ReadOnlyText::deselect() { moveSelection(cursor_, cursor_); }

void ReadOnlyText::copy() const
{
    if (hasSelectedText())
        QGuiApplication::clipboard()->setText(selectedText());
}

// Under X11 a selection is also offered for pasting with the middle button.
void ReadOnlyText::offerToPrimarySelection() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelectedText() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void ReadOnlyText::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    const bool selected = hasSelectedText();
    for (Paragraph& paragraph : paragraphs()) {
        if (paragraph.topLeft.y() >= height())
            break;
        if (selected) {
            const int length = static_cast<int>(paragraph.glyphs.text().size());
            const int from = std::max(selectionStart(), paragraph.start) - paragraph.start;
            const int to = std::min(selectionEnd(), paragraph.start + length) - paragraph.start;
            if (from < to) {
                QTextLayout::FormatRange range;
                range.start = from;
                range.length = to - from;
                range.format.setBackground(palette().brush(QPalette::Highlight));
                range.format.setForeground(palette().brush(QPalette::HighlightedText));
                layoutOf(paragraph, font()).draw(&painter, paragraph.topLeft, {range});
                continue;
            }
        }
        painter.drawStaticText(paragraph.topLeft, paragraph.glyphs);
    }
}

bool ReadOnlyText::event(QEvent* event)
{
    // Ctrl+C and Ctrl+A belong to the text that has the focus, before any shortcut.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void ReadOnlyText::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        invalidateLayout();
    QWidget::changeEvent(event);
}

void ReadOnlyText::resizeEvent(QResizeEvent* event)
{
    invalidateLayout(); // wrapping and alignment follow the size
    QWidget::resizeEvent(event);
}

void ReadOnlyText::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event); // the context menu keeps the selection
        return;
    }
    const int at = offsetAt(event->position());
    dragging_ = true;
    moveSelection(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
}

void ReadOnlyText::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        moveSelection(anchor_, offsetAt(event->position()));
}

void ReadOnlyText::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        offerToPrimarySelection();
    }
}

// A double click takes the whole line: a number or an IMEI in one go, with its '+'.
void ReadOnlyText::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Paragraph& paragraph = paragraphAt(event->position().y());
    dragging_ = false;
    const int length = static_cast<int>(paragraph.glyphs.text().size());
    moveSelection(paragraph.start, paragraph.start + length);
    offerToPrimarySelection();
}

void ReadOnlyText::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else
        event->ignore(); // nothing here can be edited
}

void ReadOnlyText::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copying = menu->addAction(withShortcut(tr("&Copy"), QKeySequence::Copy));
    copying->setObjectName(QStringLiteral("edit-copy"));
    copying->setEnabled(hasSelectedText());
    connect(copying, &QAction::triggered, this, [this] { copy(); });
    menu->addSeparator();
    QAction* all = menu->addAction(withShortcut(tr("Select All"), QKeySequence::SelectAll));
    all->setObjectName(QStringLiteral("select-all"));
    all->setEnabled(!text_.isEmpty());
    connect(all, &QAction::triggered, this, &ReadOnlyText::selectAll);
    menu->popup(event->globalPos());
}

void ReadOnlyText::focusOutEvent(QFocusEvent* event)
{
    // Like a line edit: the selection stays while the context menu is open or another
    // window is active, and goes when the operator moves on in this window.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        deselect();
    QWidget::focusOutEvent(event);
}

} // namespace zorvel
