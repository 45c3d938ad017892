#include "DisplayWidgets.h"

#include <QtMath>

namespace zorvel {

namespace {

constexpr int sideMargin = 2;   // like a frameless line edit
constexpr int boxMargin = 4;    // like a plain text box's document margin

} // namespace

DisplayField::DisplayField(Qt::Alignment alignment, QWidget* parent)
    : ReadOnlyText(false, parent), alignment_(alignment)
{
}

void DisplayField::setText(const QString& text)
{
    if (replaceText(text))
        emit textChanged(text);
}

std::vector<ReadOnlyText::Paragraph> DisplayField::placeParagraphs() const
{
    Paragraph line;
    line.glyphs = prepareGlyphs(shownText(), font(), -1);
    const QSizeF size = line.glyphs.size();
    const int room = width() - 2 * sideMargin;
    int x = sideMargin;
    // A text wider than the field shows its start, whatever the alignment.
    if (size.width() < room) {
        if (alignment_ & Qt::AlignRight)
            x = width() - sideMargin - qCeil(size.width());
        else if (alignment_ & Qt::AlignHCenter)
            x = (width() - qCeil(size.width())) / 2;
    }
    line.topLeft = QPoint(x, (height() - qCeil(size.height())) / 2);
    std::vector<Paragraph> lines;
    lines.push_back(std::move(line));
    return lines;
}

StatusBox::StatusBox(QWidget* parent) : ReadOnlyText(true, parent) {}

void StatusBox::setPlainText(const QString& raw)
{
    // CR LF and the echo's CR CR LF are one line break; a lone CR would start a line.
    QString text = raw;
    text.remove(QLatin1Char('\r'));
    replaceText(text);
}

std::vector<ReadOnlyText::Paragraph> StatusBox::placeParagraphs() const
{
    std::vector<Paragraph> lines;
    const int lineHeight = fontMetrics().lineSpacing();
    int y = boxMargin;
    int start = 0;
    for (const QString& text : shownText().split(QLatin1Char('\n'))) {
        Paragraph line;
        line.start = start;
        line.glyphs = prepareGlyphs(text, font(), width() - 2 * boxMargin);
        line.topLeft = QPoint(boxMargin, y);
        y += std::max(lineHeight, qCeil(line.glyphs.size().height()));
        start += static_cast<int>(text.size()) + 1;
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace zorvel
