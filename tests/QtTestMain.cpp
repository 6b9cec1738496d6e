// Test entry for widget tests: one QApplication on the offscreen platform,
// failures of guarded actions shown in the dialogs (which the tests script).
#include "common/Dialogs.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zw::ReportErrorsInDialogs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
