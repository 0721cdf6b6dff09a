#include "widgets/find_bar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

FindBar::FindBar(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(tr("Find:"), this));
    m_text = new QLineEdit(this);
    m_text->setPlaceholderText(tr("entry number, part of a name, or #rrggbb"));
    m_text->setToolTip(tr("A number (decimal, or hexadecimal after $ or 0x) or part of an "
                          "entry's name in either file; or a colour as #rrggbb, which steps "
                          "through the write file's entries from the one that looks most like "
                          "it to the least. Enter or F3: next, Shift+F3: previous, Esc: close"));
    m_text->installEventFilter(this);
    layout->addWidget(m_text, 1);
    m_status = new QLabel(this);
    layout->addWidget(m_status);
    hide();
}

void FindBar::open()
{
    if (!isVisible())
        m_focusBefore = QApplication::focusWidget();
    show();
    raise();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

QString FindBar::text() const
{
    return m_text->text();
}

void FindBar::setStatus(const QString &status)
{
    m_status->setText(status);
}

QString FindBar::status() const
{
    return m_status->text();
}

void FindBar::close()
{
    hide();
    setStatus(QString());
    if (m_focusBefore)
        m_focusBefore->setFocus(Qt::OtherFocusReason);
    m_focusBefore = nullptr;
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_text || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit nextRequested();
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return QFrame::eventFilter(watched, event);
    }
}
