// The widget tests need one QApplication for the whole program; TestSupport has already chosen
// the offscreen platform and a private home by the time main runs.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
