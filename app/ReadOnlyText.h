#pragma once
// What the window's read-only texts share: the text drawn directly from laid-out glyphs
// (an opaque box of the Base colour), and selecting and copying it like a read-only text
// box: drag or double-click with the mouse, Ctrl+C, Ctrl+A and a context menu with Copy and
// Select All. A text repaints several times a command for months, so the usual path
// draws prepared glyphs only; the layout needed to find characters under the mouse and to
// paint a selection is built when someone selects. A screen reader reads it as read-only
// text (ReadOnlyTextAccessible).
#include <QStaticText>
#include <QTextLayout>
#include <QWidget>
#include <memory>
#include <vector>

namespace zorvel {

class ReadOnlyText : public QWidget {
    Q_OBJECT
public:
    ~ReadOnlyText() override;

    const QString& shownText() const { return text_; }
    bool isMultiLine() const { return multiLine_; }

    bool hasSelectedText() const { return anchor_ != cursor_; }
    int selectionStart() const { return std::min(anchor_, cursor_); }
    int selectionEnd() const { return std::max(anchor_, cursor_); }
    int cursorPosition() const { return cursor_; }
    QString selectedText() const;
    // Selects from `anchor` to `cursor` (either order), each limited to the text.
    void setSelection(int anchor, int cursor);
    void selectAll();
    void deselect();
    void copy() const;

    // The text offset nearest to `point` (widget coordinates), and a character's box.
    int offsetAt(QPointF point) const;
    QRect characterRect(int offset) const;

signals:
    void selectionChanged();

protected:
    ReadOnlyText(bool multiLine, QWidget* parent);

    // Shows `text` instead, with no selection; false when it is the text already shown.
    bool replaceText(const QString& text);

    // One line of the text as the subclass places it: its first character's offset in
    // the text, its glyphs (prepared for this widget's font) and their top-left corner.
    struct Paragraph {
        int start = 0;
        QStaticText glyphs;
        QPoint topLeft;
        std::unique_ptr<QTextLayout> layout; // built when first selected or pointed at
    };
    static QStaticText prepareGlyphs(const QString& text, const QFont& font, int wrapWidth);
    // The text split into paragraphs and placed for the current font and size.
    virtual std::vector<Paragraph> placeParagraphs() const = 0;

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::vector<Paragraph>& paragraphs() const;
    Paragraph& paragraphAt(qreal y) const;
    Paragraph& paragraphOf(int offset) const;
    static QTextLayout& layoutOf(Paragraph& paragraph, const QFont& font);
    void offerToPrimarySelection() const;
    void invalidateLayout();
    void moveSelection(int anchor, int cursor);

    QString text_;
    bool multiLine_;
    int anchor_ = 0;
    int cursor_ = 0;
    bool dragging_ = false;
    mutable std::vector<Paragraph> paragraphs_;
    mutable bool laidOut_ = false;
};

} // namespace zorvel
