// Test main for widget tests: one offscreen application object for the whole
// executable, the application's own, so errors leaving an event handler reach
// the default error display as they do in the program.
#include <gtest/gtest.h>

#include "platform/ui/application.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quorvane::ui::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
