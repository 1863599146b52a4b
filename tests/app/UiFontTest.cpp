// The user-interface font chosen from what is installed.
#include "app/UiFont.h"

#include <gtest/gtest.h>

using orv::ChooseUiFont;

TEST(UiFont, PreferredFamilyWinsOverTheOthersInstalled)
{
    const QStringList installed = {QStringLiteral("DejaVu Sans"), QStringLiteral("IPAPGothic"),
                                   QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans Mono CJK JP")};
    const orv::UiFontChoice c = ChooseUiFont(installed);
    EXPECT_EQ(c.family, QStringLiteral("Noto Sans CJK JP"));
    EXPECT_EQ(c.pixelSize, 12);
}

TEST(UiFont, FallsBackInOrderAndMatchesEitherName)
{
    // Without Noto: the design's metrics, under the Japanese name a Japanese desktop lists.
    EXPECT_EQ(ChooseUiFont({QStringLiteral("VL Pゴシック"), QStringLiteral("IPA Pゴシック")}).family,
              QStringLiteral("IPA Pゴシック"));
    // Spelled as the font database spells it, whatever the case of the preference.
    EXPECT_EQ(ChooseUiFont({QStringLiteral("ipapgothic")}).family, QStringLiteral("ipapgothic"));
    EXPECT_EQ(ChooseUiFont({QStringLiteral("Source Han Sans JP"), QStringLiteral("VL PGothic")}).family,
              QStringLiteral("Source Han Sans JP"));
}

TEST(UiFont, NoJapaneseFamilyKeepsTheDefaultFamilyAtTheDesignSize)
{
    // A monospaced CJK font is no user-interface font; the toolkit's default family still finds
    // Japanese glyphs through the system's fallback.
    for (const QStringList& installed :
         {QStringList{}, QStringList{QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("DejaVu Sans")}}) {
        const orv::UiFontChoice c = ChooseUiFont(installed);
        EXPECT_TRUE(c.family.isEmpty());
        EXPECT_EQ(c.pixelSize, 12);
    }
}
