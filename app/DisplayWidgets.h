#pragma once
// The window's read-only fields: an opaque black box and its text, laid out once per change
// when it is next painted (never while the window is hidden), selectable and copyable
// (ReadOnlyText).
#include "ReadOnlyText.h"

namespace zorvel {

class DisplayField : public ReadOnlyText {
    Q_OBJECT
    Q_PROPERTY(QString text READ text)
public:
    DisplayField(Qt::Alignment alignment, QWidget* parent);

    QString text() const { return shownText(); }
    void setText(const QString& text);

signals:
    void textChanged(const QString& text);

protected:
    std::vector<Paragraph> placeParagraphs() const override;

private:
    Qt::Alignment alignment_;
};

// Several lines of the modem's answer; CR LF and CR CR LF count as one line break, a
// line too long for the box wraps.
class StatusBox : public ReadOnlyText {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ plainText)
public:
    explicit StatusBox(QWidget* parent);

    QString plainText() const { return shownText(); }
    void setPlainText(const QString& raw);

protected:
    std::vector<Paragraph> placeParagraphs() const override;
};

} // namespace zorvel
