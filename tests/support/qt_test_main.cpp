#include <QApplication>
#include <gtest/gtest.h>

// Widget tests share one application object; the platform plugin comes from QT_QPA_PLATFORM.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fendlemark"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
