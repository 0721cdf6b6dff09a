#pragma once

#include <QChar>
#include <QObject>
#include <QPointer>

class QKeyEvent;
class QString;
class QWidget;

// The character that "&" marks in a caption ("&&" is a literal ampersand); null if none.
QChar MnemonicKey(const QString &caption);

// Keyboard accelerators of a window's captions with "&": Alt+key always, and the key alone
// while the focused control takes no typed characters. A button is clicked, a check box
// toggled, a radio button chosen, a label moves the focus to its buddy; hidden or disabled
// controls do not react, except a HiddenTabSet, which always does.
class MnemonicFilter : public QObject {
    Q_OBJECT

public:
    // Filters the key events of every widget inside window.
    explicit MnemonicFilter(QWidget *window);

    // Edit fields and text panes take typed characters; buttons, check boxes, radio
    // buttons, track bars and grids do not.
    static bool takesTypedCharacters(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isInsideWindow(QObject *object) const;
    // The key an event stands for as an accelerator; null when the modifiers rule it out.
    QChar acceleratorKey(const QKeyEvent *event, QObject *receiver) const;
    // Finds the first control in the window that answers the key and, when act is true, makes it
    // react. True when a control answered.
    bool dispatch(QChar key, bool act) const;
    bool dispatchTo(QWidget *widget, QChar key, bool act) const;

    QPointer<QWidget> m_window;
};
