#include "ReadOnlyTextAccessible.h"

#include <QAccessibleWidget>
#include "ReadOnlyText.h"

namespace zorvel {

namespace {

class ReadOnlyTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReadOnlyTextAccessible(ReadOnlyText* widget)
        : QAccessibleWidget(widget, QAccessible::EditableText)
    {
    }

    ReadOnlyText* field() const { return static_cast<ReadOnlyText*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.selectableText = true;
        state.multiLine = field()->isMultiLine();
        return state;
    }

    QString text(QAccessible::Text which) const override
    {
        if (which == QAccessible::Value)
            return field()->shownText();
        return QAccessibleWidget::text(which); // the name is the field's purpose
    }

    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        if (index == 0 && field()->hasSelectedText()) {
            *start = field()->selectionStart();
            *end = field()->selectionEnd();
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { field()->setSelection(start, end); }
    void removeSelection(int index) override
    {
        if (index == 0)
            field()->deselect();
    }
    void setSelection(int index, int start, int end) override
    {
        if (index == 0)
            field()->setSelection(start, end);
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setSelection(position, position); }

    QString text(int start, int end) const override
    {
        const QString& all = field()->shownText();
        if (start < 0 || end > all.size() || start > end)
            return {};
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(field()->shownText().size()); }

    // Both in screen coordinates.
    QRect characterRect(int offset) const override
    {
        const QRect box = field()->characterRect(offset);
        return box.isNull() ? box : QRect(field()->mapToGlobal(box.topLeft()), box.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = field()->mapFromGlobal(point);
        return field()->rect().contains(local) ? field()->offsetAt(local) : -1;
    }

    void scrollToSubstring(int, int) override {} // everything shown is in view
    QString attributes(int offset, int* start, int* end) const override
    {
        *start = *end = offset; // one font and colour throughout
        return {};
    }
};

QAccessibleInterface* createInterface(const QString&, QObject* object)
{
    if (auto* text = qobject_cast<ReadOnlyText*>(object))
        return new ReadOnlyTextAccessible(text);
    return nullptr;
}

} // namespace

void installReadOnlyTextAccessible()
{
    static const bool installed = (QAccessible::installFactory(createInterface), true);
    (void)installed;
}

} // namespace zorvel
