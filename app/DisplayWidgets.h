#pragma once
// The window's read-only fields, drawn directly: an opaque black box and its text, laid
// out once per change when it is next painted (never while the window is hidden). They
// repaint several times a command for months, so they avoid the machinery of editable
// text widgets (cursor, selection, undo, style panels). A screen reader finds the text in
// the accessible description.
#include <QStaticText>
#include <QWidget>
#include <optional>
#include <vector>

namespace zorvel {

class DisplayField : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text)
public:
    DisplayField(Qt::Alignment alignment, QWidget* parent);

    QString text() const { return text_; }
    void setText(const QString& text);

signals:
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    std::optional<QStaticText> laidOut_;
    Qt::Alignment alignment_;
};

// Several lines of the modem's answer; CR LF and CR CR LF count as one line break, a
// line too long for the box wraps.
class StatusBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ plainText)
public:
    explicit StatusBox(QWidget* parent);

    QString plainText() const { return text_; }
    void setPlainText(const QString& raw);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layOut();

    QString text_;
    std::vector<QStaticText> lines_;
    bool laidOut_ = false;
};

} // namespace zorvel
