#pragma once

#include <QApplication>

// Shows an exception that escapes an event handler in a standard error message and carries
// on, instead of letting it end the program.
class ColvaneApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};
