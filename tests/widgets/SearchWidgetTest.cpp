// Searching through the panel, the CD selector, column sorts and the reset button, against the
// 80-row catalogue.
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "widgets/WidgetHarness.h"

#include <QCoreApplication>
#include <QHeaderView>

#include <gtest/gtest.h>

using namespace orvtest;

namespace {

class SearchPanel : public StartedWindow {
protected:
    Harness& H() { return *h; }
};

std::vector<int> sorted(std::vector<int> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST_F(SearchPanel, WorkedExampleFindsTheTwoIslandRows)
{
    ctl<QRadioButton>(w(), "optNew_1")->setChecked(true);
    H().selectPlatforms({QStringLiteral("PC"), QStringLiteral("MSX")});
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("max　life"));
    ctl<QCheckBox>(w(), "chkFind1_2")->setChecked(false);
    ctl<QCheckBox>(w(), "chkFind1_3")->setChecked(false);
    ctl<QRadioButton>(w(), "optGame_0")->setChecked(true);
    ctl<QLineEdit>(w(), "txtStrMaker_0")->setText(QStringLiteral("demo"));
    for (int i = 0; i < 3; ++i)
        ctl<QCheckBox>(w(), "chkFind2", i)->setChecked(false);
    const int cd012 = ctl<QComboBox>(w(), "Combo2")->findText(QStringLiteral("CD012"));
    ASSERT_GE(cd012, 0);
    ctl<QComboBox>(w(), "Combo2")->setCurrentIndex(cd012);
    emit ctl<QComboBox>(w(), "Combo2")->activated(cd012);
    EXPECT_EQ(H().rowCount(), 80) << "choosing a volume runs no query";

    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_TRUE(H().messages.empty()) << H().messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(H().shownRows(), (std::vector<int>{69, 77}));
    EXPECT_EQ(ctl<QLabel>(w(), "Label3")->text(), QStringLiteral("1/2"));
    EXPECT_EQ(ctl<QLabel>(w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：80"))
        << "the total is counted at the open only";
}

TEST_F(SearchPanel, KeywordMatchesAnyCaseAndWidth)
{
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("max"));
    ctl<QPushButton>(w(), "Command1")->click();
    const std::vector<int> expected = {3,  5,  10, 11, 14, 18, 21, 22, 25, 26, 28, 29, 31, 32, 33, 36,
                                       37, 41, 42, 53, 56, 57, 61, 63, 64, 65, 69, 72, 75, 76, 77};
    EXPECT_EQ(sorted(H().shownRows()), expected);
    EXPECT_TRUE(H().messages.empty());
}

TEST_F(SearchPanel, PlatformWithAnApostrophe)
{
    const float firstWidth = ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(3);
    H().selectPlatforms({QStringLiteral("M'S BOX")});
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_TRUE(H().messages.empty()) << H().messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(H().shownRows(), std::vector<int>{73});

    // No platform selected, or the platform check off: only the entries without a platform.
    H().selectPlatforms({});
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().shownRows(), (std::vector<int>{40, 50}));
    EXPECT_EQ(ctl<QLabel>(w(), "Label3")->text(), QStringLiteral("1/2"));
    H().selectPlatforms(H().platformItems());
    ctl<QCheckBox>(w(), "Check1_2")->setChecked(false);
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().shownRows(), (std::vector<int>{40, 50}));

    // A search that matches nothing: empty list, captions and widths still set.
    ctl<QCheckBox>(w(), "Check1_2")->setChecked(true);
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("zzzz"));
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().rowCount(), 0);
    EXPECT_EQ(ctl<QLabel>(w(), "Label3")->text(), QStringLiteral("0/0"));
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->columnCount(), 11);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(3), firstWidth);
    EXPECT_TRUE(H().messages.empty());
}

TEST_F(SearchPanel, VolumeSelectionBecomesTheCdFilter)
{
    w().catalogue().SetCombo2Text(QStringLiteral("CD005"));
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().rowCount(), 7);
    for (const QString& v : H().columnValues(0))
        EXPECT_EQ(v, QStringLiteral("005"));
    // The number matches anywhere in the stored CD number.
    w().catalogue().SetCombo2Text(QStringLiteral("0"));
    ctl<QPushButton>(w(), "Command1")->click();
    const std::vector<int> withZero = H().shownRows();
    EXPECT_EQ(withZero.size(), 79u);
    EXPECT_EQ(std::count(withZero.begin(), withZero.end(), 9), 0) << "row 9 is the volume ABC";
    w().catalogue().SetCombo2Text(QStringLiteral("ABC"));
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().shownRows(), std::vector<int>{9});
    w().catalogue().SetCombo2Text(QStringLiteral("ALL"));
    EXPECT_EQ(H().rowCount(), 1) << "the list changes with the next search only";
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().rowCount(), 80);
}

TEST_F(SearchPanel, VolumeTextsCannotChangeTheStatement)
{
    // The volume list is filled from the catalogue's own texts; these are as a hostile file would
    // hold them.
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("max"));
    ctl<QPushButton>(w(), "Command1")->click();
    const std::vector<int> withMax = H().shownRows();
    ASSERT_EQ(withMax.size(), 31u);

    for (const QString& volume : {QStringLiteral("CD3*') OR (gt_cdno LIKE '*"), QStringLiteral("CD4'"),
                                  QStringLiteral("CD'"), QStringLiteral("CD0' OR 'a'='a")}) {
        ctl<QComboBox>(w(), "Combo2")->addItem(volume);
        w().catalogue().SetCombo2Text(volume);
        ctl<QPushButton>(w(), "Command1")->click();
        EXPECT_TRUE(H().messages.empty())
            << volume.toStdString() << ": " << H().messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(H().rowCount(), 0) << volume.toStdString() << ": no stored CD number holds an apostrophe";
        H().messages.clear();
    }
    // The same search without the volume finds what it found before.
    w().catalogue().SetCombo2Text(QStringLiteral("ALL"));
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().shownRows(), withMax);
}

TEST_F(SearchPanel, HeaderClicksSortEachColumnUpAndDown)
{
    const QStringList tableGames = H().columnValues(3);
    H().clickHeader(3);
    const QStringList up = H().columnValues(3);
    EXPECT_NE(up, tableGames);
    QStringList sortedGames = tableGames;
    std::sort(sortedGames.begin(), sortedGames.end());
    QStringList upSorted = up;
    std::sort(upSorted.begin(), upSorted.end());
    EXPECT_EQ(upSorted, sortedGames) << "the same rows";
    const std::vector<int> upRows = H().shownRows();

    H().clickHeader(3);
    QStringList down = H().columnValues(3);
    std::reverse(down.begin(), down.end());
    EXPECT_EQ(down, up);

    // The effect column sorts by its category key; other columns keep their own toggle.
    H().clickHeader(5);
    const std::vector<int> byEffect = H().shownRows();
    EXPECT_EQ(std::vector<int>(byEffect.begin(), byEffect.begin() + 5), (std::vector<int>{17, 35, 9, 29, 56}));
    H().clickHeader(3);
    EXPECT_EQ(H().shownRows(), upRows);
    EXPECT_EQ(ctl<QLabel>(w(), "Label3")->text(), QStringLiteral("1/80"));

    // A later search keeps the order.
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("life"));
    ctl<QPushButton>(w(), "Command1")->click();
    const std::vector<int> found = H().shownRows();
    ASSERT_FALSE(found.empty());
    std::vector<int> expected;
    for (int r : upRows)
        if (std::find(found.begin(), found.end(), r) != found.end())
            expected.push_back(r);
    EXPECT_EQ(found, expected);
    EXPECT_LT(found.size(), 80u);
}

TEST_F(SearchPanel, DraggedColumnWidthsSurviveSearchAndSort)
{
    const float firstWidth = ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(3);
    ctl<orv::DBGrid>(w(), "DBGrid1")->horizontalHeader()->resizeSection(4, 100);
    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(4), 1500.f);
    H().clickHeader(2);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(4), 1500.f);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->columnWidth(3), firstWidth);
}

TEST_F(SearchPanel, ResetRestoresTheStartConditionsWithoutSearching)
{
    ctl<QRadioButton>(w(), "optNew_2")->setChecked(true);
    H().selectPlatforms({QStringLiteral("GB")});
    ctl<QRadioButton>(w(), "optGame_1")->setChecked(true);
    ctl<QRadioButton>(w(), "optMaker_1")->setChecked(true);
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("life"));
    ctl<QLineEdit>(w(), "txtStrMaker_0")->setText(QStringLiteral("demo"));
    ctl<QCheckBox>(w(), "chkFind1_1")->setChecked(false);
    ctl<QCheckBox>(w(), "chkFind2_3")->setCheckState(Qt::PartiallyChecked);
    for (int i = 0; i < 3; ++i)
        ctl<QCheckBox>(w(), "Check1", i)->setChecked(false);
    ctl<QPushButton>(w(), "Command1")->click();
    w().catalogue().SetCombo2Text(QStringLiteral("CD003"));
    const std::vector<int> before = H().shownRows();
    const orv::Recordset* rs = ctl<orv::DataControl>(w(), "Data1")->recordset();
    const std::string filter = w().catalogue().session().filterText();

    ctl<QPushButton>(w(), "Command5")->click();
    EXPECT_TRUE(ctl<QRadioButton>(w(), "optNew_0")->isChecked());
    EXPECT_EQ(H().selectedPlatforms(), H().platformItems());
    EXPECT_TRUE(ctl<QRadioButton>(w(), "optGame_0")->isChecked());
    EXPECT_TRUE(ctl<QRadioButton>(w(), "optMaker_0")->isChecked());
    EXPECT_TRUE(ctl<QLineEdit>(w(), "txtStrGame_0")->text().isEmpty());
    EXPECT_TRUE(ctl<QLineEdit>(w(), "txtStrMaker_0")->text().isEmpty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ctl<QCheckBox>(w(), "chkFind1", i)->checkState(), Qt::Checked);
        EXPECT_EQ(ctl<QCheckBox>(w(), "chkFind2", i)->checkState(), Qt::Checked);
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ctl<QCheckBox>(w(), "Check1", i)->checkState(), Qt::Checked);
    EXPECT_EQ(ctl<QComboBox>(w(), "Combo2")->currentText(), QStringLiteral("ALL"));
    // No search ran.
    EXPECT_EQ(ctl<orv::DataControl>(w(), "Data1")->recordset(), rs);
    EXPECT_EQ(H().shownRows(), before);
    EXPECT_EQ(w().catalogue().session().filterText(), filter);

    ctl<QPushButton>(w(), "Command1")->click();
    EXPECT_EQ(H().rowCount(), 80);
}
