// GoogleTest main for window tests: GoogleTest first, then the application object on Qt's
// offscreen platform.
#include <gtest/gtest.h>

#include "Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VelmoraApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
