#include "app/application.h"

#include <gtest/gtest.h>

// Every test program runs its window tests offscreen, also when started by hand, in the
// program's own application object.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ColvaneApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
