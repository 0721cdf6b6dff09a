#pragma once

#include <QApplication>

// Shows an exception that escapes an event handler in a standard error message and carries
// on, instead of letting it end the program.
//
// The window places its controls at fixed pixel positions, which a style with wider margins
// would crowd, so it comes in the plain style unless the user asked for another one.
class ColvaneApplication : public QApplication {
public:
    ColvaneApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

private:
    ColvaneApplication(int &argc, char **argv, bool userChoseStyle);
};
