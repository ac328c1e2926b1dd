#include "app/MainForm.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window keeps "quarle.ini" and "temp" in the program's folder: give each test run its own.
    QTemporaryDir programDir;
    TDlgMainForm::programDir = [path = programDir.path()] { return path; };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
