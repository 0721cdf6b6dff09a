#pragma once

#include <QFrame>
#include <QPointer>

class QLabel;
class QLineEdit;

// A small bar for finding things by text. It floats over its parent without taking room in a
// layout. Enter asks for the next match; Esc closes the bar and gives the focus back to where
// it was. Its owner adds F3 and Shift+F3, which work wherever the focus is.
class FindBar : public QFrame {
    Q_OBJECT

public:
    explicit FindBar(QWidget *parent);

    // Shows the bar and puts the focus into its text, all of it selected.
    void open();
    QString text() const;
    // What the last search found, shown beside the text: empty, or for example "no match".
    void setStatus(const QString &status);
    QString status() const;

signals:
    void nextRequested();
    void previousRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void close();

    QLineEdit *m_text = nullptr;
    QLabel *m_status = nullptr;
    QPointer<QWidget> m_focusBefore;
};
