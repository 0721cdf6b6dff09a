#include "widgets/mnemonics.h"

#include "widgets/draw_grid.h"
#include "widgets/hidden_tab_set.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>

#include <algorithm>

namespace {

bool SameKey(QChar first, QChar second)
{
    return !first.isNull() && first.toCaseFolded() == second.toCaseFolded();
}

bool CanReact(const QWidget *widget)
{
    return widget->isVisible() && widget->isEnabled();
}

// Check boxes and radio buttons take the focus before they react, as if they had been clicked
// with the pointer; push buttons are clicked where the focus stays.
void ActivateButton(QAbstractButton *button)
{
    if (qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button))
        button->setFocus(Qt::ShortcutFocusReason);
    button->click();
}

} // namespace

QChar MnemonicKey(const QString &caption)
{
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1];
        ++i;
    }
    return QChar();
}

// The filter sits on the application, because key events go to the focused control and every
// control of the window has to be covered, including those created later.
MnemonicFilter::MnemonicFilter(QWidget *window) : QObject(window), m_window(window)
{
    qApp->installEventFilter(this);
}

bool MnemonicFilter::takesTypedCharacters(const QWidget *widget)
{
    if (!widget)
        return false;
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget) ||
        qobject_cast<const QPlainTextEdit *>(widget) ||
        qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    if (const auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->isEditable();
    return false;
}

// Qt registers Alt+key shortcuts of its own for buttons and labels, which would react a second
// time and only later (a button animates its click). Accepting the shortcut override for a key
// that this filter answers keeps the key a plain key press, which the filter then handles and
// consumes, so each accelerator acts exactly once and before the key event returns.
bool MnemonicFilter::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !isInsideWindow(watched))
        return false;
    const QChar key = acceleratorKey(static_cast<QKeyEvent *>(event), watched);
    if (key.isNull())
        return false;
    if (type == QEvent::ShortcutOverride) {
        if (!dispatch(key, false))
            return false;
        event->accept();
        return true;
    }
    if (!dispatch(key, true))
        return false;
    event->accept();
    return true;
}

bool MnemonicFilter::isInsideWindow(QObject *object) const
{
    const auto *widget = qobject_cast<QWidget *>(object);
    return widget && m_window && widget->window() == m_window;
}

QChar MnemonicFilter::acceleratorKey(const QKeyEvent *event, QObject *receiver) const
{
    const int key = event->key();
    if (key < Qt::Key_Exclam || key > Qt::Key_AsciiTilde)
        return QChar();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::AltModifier)
        return QChar(key);
    if (modifiers != Qt::NoModifier)
        return QChar();
    QWidget *focused = QApplication::focusWidget();
    if (!focused)
        focused = qobject_cast<QWidget *>(receiver);
    return takesTypedCharacters(focused) ? QChar() : QChar(key);
}

bool MnemonicFilter::dispatch(QChar key, bool act) const
{
    return m_window && dispatchTo(m_window, key, act);
}

// Depth first in the order the controls were created, the first control that answers wins.
// Hidden or disabled controls are passed over, but a hidden tab set keeps its accelerators.
bool MnemonicFilter::dispatchTo(QWidget *widget, QChar key, bool act) const
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        if (CanReact(button) && SameKey(MnemonicKey(button->text()), key)) {
            if (act)
                ActivateButton(button);
            return true;
        }
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        QWidget *buddy = label->buddy();
        if (buddy && CanReact(label) && CanReact(buddy) &&
            SameKey(MnemonicKey(label->text()), key)) {
            if (act)
                buddy->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    } else if (auto *tabSet = qobject_cast<HiddenTabSet *>(widget)) {
        const bool matches = std::any_of(
            tabSet->captions().begin(), tabSet->captions().end(),
            [key](const QString &caption) { return SameKey(MnemonicKey(caption), key); });
        if (matches) {
            if (act)
                tabSet->selectByMnemonic(key);
            return true;
        }
    }
    for (QObject *child : widget->children()) {
        auto *childWidget = qobject_cast<QWidget *>(child);
        if (childWidget && !childWidget->isWindow() && dispatchTo(childWidget, key, act))
            return true;
    }
    return false;
}
