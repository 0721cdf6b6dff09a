#include "app/application.h"
#include "app/tform1.h"
#include "huefile/hue_file.h"

#include <QMessageBox>
#include <exception>

int main(int argc, char **argv)
{
    OpenClosedStandardStreams();
    ColvaneApplication app(argc, argv);
    app.setApplicationName("Colvane");
    try {
        TForm1 Form1;
        Form1.show();
        return app.exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, "Colvane", QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
