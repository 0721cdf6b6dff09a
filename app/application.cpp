#include "app/application.h"

#include "widgets/plain_style.h"

#include <QMessageBox>
#include <cstring>
#include <exception>

namespace {

// The toolkit takes its style options out of the arguments, so they are looked for first.
bool UserChoseStyle(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        return true;
    for (int a = 1; a < argc; ++a) {
        const char *option = argv[a][0] == '-' && argv[a][1] == '-' ? argv[a] + 1 : argv[a];
        if (std::strcmp(option, "-style") == 0 || std::strncmp(option, "-style=", 7) == 0)
            return true;
    }
    return false;
}

void ShowException(const QString &text)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}

} // namespace

ColvaneApplication::ColvaneApplication(int &argc, char **argv)
    : ColvaneApplication(argc, argv, UserChoseStyle(argc, argv))
{
}

ColvaneApplication::ColvaneApplication(int &argc, char **argv, bool userChoseStyle)
    : QApplication(argc, argv)
{
    if (!userChoseStyle)
        setStyle(CreatePlainStyle());
}

bool ColvaneApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException("Unknown error.");
    }
    return false;
}
