// The widget tests need one QApplication for the whole program; TestSupport has already chosen
// the offscreen platform and a private home by the time main runs. The window gets the program's
// own font and the toolkit's Japanese texts, as when the program runs.
#include "app/widgets/Appearance.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    orv::UseUiFont();
    orv::UseJapaneseToolkitTexts(app);
    return RUN_ALL_TESTS();
}
