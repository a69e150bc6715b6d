// Test programs run their cases under one QApplication (the offscreen platform is chosen by
// CTest's environment); listing the cases needs none.
#include "platform/MessageBox.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (!GTEST_FLAG_GET(list_tests)) {
        app = std::make_unique<QApplication>(argc, argv);
        qv::installItalianTranslations();
    }
    return RUN_ALL_TESTS();
}
