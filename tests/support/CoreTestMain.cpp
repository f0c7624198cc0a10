// GoogleTest main for tests without windows: GoogleTest first, then the core application
// object, whose event loop the archiver's processes and timers need.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
