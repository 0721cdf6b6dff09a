#include "app/application.h"
#include "app/command_line.h"
#include "app/tform1.h"
#include "huefile/hue_file.h"

#include <QMessageBox>
#include <exception>
#include <iostream>

int main(int argc, char **argv)
{
    OpenClosedStandardStreams();
    const std::optional<int> answered = AnswerWithoutWindow(
        std::vector<std::string>(argv + 1, argv + argc), COLVANE_VERSION, std::cout, std::cerr);
    if (answered && !std::cout.flush()) {
        std::cerr << "colvane: standard output: the write failed\n";
        return 2;
    }
    if (answered)
        return *answered;
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
