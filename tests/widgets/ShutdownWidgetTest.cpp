// Closing the window saves every setting; the next start on the same folder restores them. Also
// what the first activation does with the saved width, mode and window state.
#include "platform/settings/NumberText.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "widgets/WidgetHarness.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace orvtest;

namespace {
class Shutdown : public WindowTest {};
class FirstActivation : public WindowTest {};
} // namespace

TEST_F(Shutdown, EverythingChangedComesBackOnTheNextStart)
{
    const QString longWord = QString(60, QChar(u'ゲ')) + QStringLiteral("abcdefghij"); // 130 bytes
    float firstWidth = 0; // what the first list gave column 3, in twips
    {
        Harness& h = start();
        firstWidth = ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(3);
        ctl<QRadioButton>(h.w(), "optNew_2")->setChecked(true);
        h.selectPlatforms({QStringLiteral("MSX"), QStringLiteral("PC")});
        ctl<QCheckBox>(h.w(), "Check1_1")->setChecked(false);
        ctl<QCheckBox>(h.w(), "chkFind1_2")->setChecked(false);
        ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(longWord);
        ctl<QRadioButton>(h.w(), "optGame_1")->setChecked(true);
        ctl<QCheckBox>(h.w(), "Check1_0")->setChecked(false);
        ctl<QCheckBox>(h.w(), "chkFind2_0")->setChecked(false);
        ctl<QLineEdit>(h.w(), "txtStrMaker_0")->setText(QStringLiteral("demo"));
        ctl<QRadioButton>(h.w(), "optMaker_1")->setChecked(true);
        ctl<QPushButton>(h.w(), "btnMode")->click();
        ctl<orv::DBGrid>(h.w(), "DBGrid1")->horizontalHeader()->resizeSection(4, 200);
        ctl<QPushButton>(h.w(), "Command4")->click();
        EXPECT_TRUE(h.ended);
    }
    EXPECT_EQ(folder.ini("SEARCH", "NEW"), "2");
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), "MSX,PC");
    EXPECT_EQ(folder.ini("SEARCH", "WORDANDFL"), "False");
    EXPECT_EQ(folder.ini("DISP", "MODE"), "1");
    EXPECT_EQ(folder.ini("LIST", "WIDTHCOL04"), "3000");
    EXPECT_EQ(folder.ini("LIST", "WIDTHCOL03"), std::to_string(std::lround(firstWidth)));
    EXPECT_EQ(folder.ini("WINDOW", "WINSATE"), "0");

    Harness& h = start();
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_2")->isChecked());
    EXPECT_EQ(h.selectedPlatforms(), (QStringList{QStringLiteral("MSX"), QStringLiteral("PC")}));
    EXPECT_EQ(ctl<QCheckBox>(h.w(), "Check1_1")->checkState(), Qt::Unchecked);
    EXPECT_EQ(ctl<QCheckBox>(h.w(), "chkFind1_2")->checkState(), Qt::Unchecked);
    EXPECT_EQ(ctl<QCheckBox>(h.w(), "chkFind1_3")->checkState(), Qt::Checked);
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QString(60, QChar(u'ゲ')) + QStringLiteral("abcdefg"))
        << "127 bytes";
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_1")->isChecked());
    EXPECT_EQ(ctl<QCheckBox>(h.w(), "Check1_0")->checkState(), Qt::Unchecked);
    EXPECT_EQ(ctl<QCheckBox>(h.w(), "chkFind2_0")->checkState(), Qt::Unchecked);
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrMaker_0")->text(), QStringLiteral("demo"));
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optMaker_0")->isChecked()) << "the negative AND/OR starts on AND every time";
    EXPECT_EQ(h.w().views().mode(), orv::ViewMode::Card);
    EXPECT_TRUE(ctl<QWidget>(h.w(), "Frame8")->isVisible());
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(4), 3000.f);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(3), firstWidth);
}

TEST_F(Shutdown, NoPlatformSelectedSavesEmptyAndRestoresOnlyTheEmptyLine)
{
    {
        Harness& h = start();
        h.selectPlatforms({});
        h->close();
        EXPECT_TRUE(h.ended);
    }
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), "");
    Harness& h = start();
    EXPECT_EQ(h.selectedPlatforms(), QStringList{QString()});
}

TEST_F(Shutdown, ExitButtonAndCloseCommandSaveTheSameKeys)
{
    AppFolder byButton, byClose;
    float shownWidth = 0; // column 10 as the list shows it, in twips
    for (AppFolder* f : {&byButton, &byClose}) {
        Harness& h = start(*f);
        shownWidth = ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(10);
        ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("life"));
        ctl<QPushButton>(h.w(), "btnMode")->click();
        if (f == &byButton)
            ctl<QPushButton>(h.w(), "Command4")->click();
        else
            h->close();
        EXPECT_TRUE(h.ended);
        EXPECT_FALSE(h->isVisible());
    }
    const std::string saved = readFileBytes(byButton.iniPath());
    EXPECT_FALSE(saved.empty());
    EXPECT_EQ(saved, readFileBytes(byClose.iniPath()));
    for (const char* key : {"NEW", "PFORMFL", "PFORMSTR", "WORDFL", "WORDSELFL0", "WORDSELFL3", "WORD", "WORDANDFL",
                            "NOTWORDFL", "NOTWORDSELFL0", "NOTWORDSELFL3", "NOTWORD"})
        EXPECT_NE(byButton.ini("SEARCH", key), "<none>") << key;
    for (const char* key : {"WINSATE", "TOP", "LEFT", "WIDTH", "HEIGHT"})
        EXPECT_NE(byButton.ini("WINDOW", key), "<none>") << key;
    EXPECT_EQ(byButton.ini("LIST", "WIDTHCOL10"), std::to_string(std::lround(shownWidth)));
    EXPECT_EQ(byButton.ini("LIST", "WIDTHCOL11"), "<none>");
}

TEST_F(Shutdown, NormalWindowSavesItsOuterRectangleInTwips)
{
    Harness& h = start();
    const QRect g = h->frameGeometry();
    h->close();
    EXPECT_EQ(folder.ini("WINDOW", "WINSATE"), "0");
    EXPECT_EQ(folder.ini("WINDOW", "LEFT"), orv::SingleText(static_cast<float>(g.left()) * 15));
    EXPECT_EQ(folder.ini("WINDOW", "TOP"), orv::SingleText(static_cast<float>(g.top()) * 15));
    EXPECT_EQ(folder.ini("WINDOW", "WIDTH"), orv::SingleText(static_cast<float>(g.width()) * 15));
    EXPECT_EQ(folder.ini("WINDOW", "HEIGHT"), orv::SingleText(static_cast<float>(g.height()) * 15));
}

TEST_F(Shutdown, MaximisedOrMinimisedWindowKeepsTheOldRectangle)
{
    for (const auto state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        AppFolder own;
        own.saveFrame(1200, 1500, 10005, 7500);
        Harness& h = start(own);
        h->setWindowState(state);
        h->close();
        EXPECT_EQ(own.ini("WINDOW", "WINSATE"), state == Qt::WindowMaximized ? "2" : "1");
        EXPECT_EQ(own.ini("WINDOW", "TOP"), "1500");
        EXPECT_EQ(own.ini("WINDOW", "LEFT"), "1200");
        EXPECT_EQ(own.ini("WINDOW", "WIDTH"), "10005");
        EXPECT_EQ(own.ini("WINDOW", "HEIGHT"), "7500");
    }
}

TEST_F(Shutdown, FailedStartLeavesTheSavedSetUpAsItWas)
{
    AppFolder own(dataPath("bad/text.mdb")); // a catalogue that does not open
    writeFileBytes(own.iniPath(),
                   "[SEARCH]\r\nPFORMSTR=PC,PS\r\nWORD=max\r\n[DISP]\r\nMODE=1\r\n"
                   "[LIST]\r\nWIDTHCOL03=3000\r\n");
    {
        Harness& h = start(own);
        EXPECT_TRUE(h.ended);
        EXPECT_EQ(h.messageTexts(), QStringList{kOpenFailure});
    }
    // Never shown in this run, so kept as they were: the platform choice, the view, the widths.
    EXPECT_EQ(own.ini("SEARCH", "PFORMSTR"), "PC,PS");
    EXPECT_EQ(own.ini("DISP", "MODE"), "1");
    EXPECT_EQ(own.ini("LIST", "WIDTHCOL03"), "3000");
    EXPECT_EQ(own.ini("LIST", "WIDTHCOL00"), "<none>");
    EXPECT_EQ(own.ini("LIST", "WIDTHCOL10"), "<none>");
    // Shown and open to change while the message was up: saved as they stand.
    EXPECT_EQ(own.ini("SEARCH", "WORD"), "max");
    EXPECT_EQ(own.ini("SEARCH", "NEW"), "0");
    EXPECT_EQ(own.ini("WINDOW", "WINSATE"), "0");
    EXPECT_NE(own.ini("WINDOW", "WIDTH"), "<none>");

    // With the catalogue back, the next start finds the set-up of before the failure.
    std::filesystem::copy_file(dataPath("tevox20.mdb"), own.path() + "/tevox20.mdb",
                               std::filesystem::copy_options::overwrite_existing);
    Harness& h = start(own);
    EXPECT_FALSE(h.ended);
    EXPECT_EQ(h.selectedPlatforms(), (QStringList{QStringLiteral("PC"), QStringLiteral("PS")}));
    EXPECT_EQ(h.w().views().mode(), orv::ViewMode::Card);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(3), 3000.f);
}

// --- First activation ------------------------------------------------------------------------------

// A settings file in another encoding than CP932 comes back from a start and a close as it was
// where nothing changed: a UTF-16BE file stays big-endian, and a UTF-8 file without a mark
// (read as CP932) keeps the bytes of its texts.
TEST_F(Shutdown, SettingsFilesOfOtherEncodingsComeBackAsTheyWere)
{
    const std::string utf8Lines = "[SEARCH]\r\nWORD=デモ版\r\nNOTWORD=ﾃﾞﾓ 体験版\r\n";
    QString text = QString::fromUtf8(utf8Lines.c_str());
    std::string bigEndian = "\xFE\xFF";
    for (const char16_t u : text.toStdU16String()) {
        bigEndian += static_cast<char>(u >> 8);
        bigEndian += static_cast<char>(u & 0xFF);
    }
    for (const std::string& stored : {utf8Lines, bigEndian}) {
        AppFolder own;
        writeFileBytes(own.iniPath(), stored);
        {
            Harness& h = start(own);
            ctl<QPushButton>(h.w(), "Command4")->click();
            EXPECT_TRUE(h.ended);
        }
        const std::string after = readFileBytes(own.iniPath());
        EXPECT_EQ(after.substr(0, stored.size()), stored);
        if (stored == bigEndian) {
            // The program's own keys follow in UTF-16BE: every unit of ASCII text starts with 00.
            ASSERT_EQ(after.size() % 2, 0u);
            for (size_t i = stored.size(); i < after.size(); i += 2)
                ASSERT_EQ(after[i], '\0') << "byte " << i;
            EXPECT_EQ(own.ini("SEARCH", "WORD"), "デモ版");
            EXPECT_EQ(own.ini("DISP", "MODE"), "0");
        }
    }
}

TEST_F(FirstActivation, RunsOnceOnly)
{
    Harness& h = start();
    for (int i = 0; i < 4; ++i)
        h->views().StepRecord(3);
    ASSERT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("5/80"));
    const orv::Recordset* rs = ctl<orv::DataControl>(h.w(), "Data1")->recordset();
    h->move(h->pos() + QPoint(7, 5));
    const QRect g = h->geometry();
    ctl<QLineEdit>(h.w(), "txtStrMaker_0")->setFocus();

    QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&h.w(), &deactivate);
    QCoreApplication::sendEvent(&h.w(), &activate);
    h->Form_Activate();
    QCoreApplication::processEvents();

    EXPECT_EQ(ctl<orv::DataControl>(h.w(), "Data1")->recordset(), rs) << "no reload";
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("5/80"));
    EXPECT_EQ(h->geometry(), g) << "no placement";
    EXPECT_EQ(h->focusWidget(), ctl<QLineEdit>(h.w(), "txtStrMaker_0")) << "no change of focus";
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->count(), 15);
    EXPECT_TRUE(h.messages.empty());
}

TEST_F(FirstActivation, FocusStartsInTheKeywordBoxInListView)
{
    Harness& h = start();
    EXPECT_EQ(h->focusWidget(), ctl<QLineEdit>(h.w(), "txtStrGame_0"));
    EXPECT_EQ(h.w().views().mode(), orv::ViewMode::List);
    EXPECT_FALSE(ctl<QWidget>(h.w(), "Frame8")->isVisible());
    EXPECT_TRUE(ctl<orv::DBGrid>(h.w(), "DBGrid1")->isVisible());
}

TEST_F(FirstActivation, SavedColumnWidths)
{
    folder.setIni("LIST", "WIDTHCOL05", "0");
    folder.setIni("LIST", "WIDTHCOL06", "1234.5");
    folder.setIni("LIST", "WIDTHCOL00", "abc");
    Harness& h = start();
    // 0 and what is not a number leave the first list's width: the design's (2000 and 700
    // twips), fitted to the font alike with the date column's 1000.
    const float dateWidth = ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(10);
    EXPECT_NEAR(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(5), 2 * dateWidth, 1.f);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(6), 1234.5f);
    EXPECT_NEAR(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(0), 0.7f * dateWidth, 1.f);
    // The next query takes the grid's width, rounded to whole twips, and that is saved.
    ctl<QPushButton>(h.w(), "Command1")->click();
    h->close();
    EXPECT_EQ(folder.ini("LIST", "WIDTHCOL06"), "1234");
}

TEST_F(FirstActivation, UsesTheSettingsAsReadAtStartUp)
{
    // The file is read once, by the load handler; a change made afterwards (another instance
    // closing) does not reach this run.
    folder.setIni("DISP", "MODE", "0");
    folder.setIni("LIST", "WIDTHCOL06", "1234.5");
    folder.setIni("WINDOW", "WINSATE", "0");
    Harness& h = window();
    folder.setIni("DISP", "MODE", "1");
    folder.setIni("LIST", "WIDTHCOL06", "3000");
    folder.setIni("WINDOW", "WINSATE", "2");
    folder.setIni("SEARCH", "WORD", "changed");
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.w().views().mode(), orv::ViewMode::List);
    EXPECT_FLOAT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnWidth(6), 1234.5f);
    EXPECT_FALSE(h->isMaximized());
    EXPECT_TRUE(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text().isEmpty());
}

TEST_F(FirstActivation, SavedModeSwitchesToCardViewOnce)
{
    for (const char* mode : {"1", "7"}) {
        AppFolder own;
        own.setIni("DISP", "MODE", mode);
        Harness& h = start(own);
        EXPECT_EQ(h.w().views().mode(), orv::ViewMode::Card) << mode;
        EXPECT_EQ(ctl<QPushButton>(h.w(), "btnMode")->text(), QStringLiteral("一覧(&L)"));
        EXPECT_EQ(ctl<QPushButton>(h.w(), "btnMode")->toolTip(), QStringLiteral("一覧型表示へ"));
        EXPECT_TRUE(ctl<QWidget>(h.w(), "Frame8")->isVisible());
        EXPECT_EQ(ctl<QPlainTextEdit>(h.w(), "txtGame")->toPlainText(), QStringLiteral("ぷにぷにパーク"));
        EXPECT_EQ(h->focusWidget(), ctl<QLineEdit>(h.w(), "txtStrGame_0"));
    }
}

TEST_F(FirstActivation, SavedRectangleAndMaximisedState)
{
    {
        AppFolder own;
        own.saveFrame(1500, 1200, 10500, 7500);
        Harness& h = start(own);
        EXPECT_EQ(h->frameGeometry(), QRect(100, 80, 700, 500));
        EXPECT_FALSE(h->isMaximized());
    }
    {
        // The switch SCHK=0 keeps the window where it was created.
        AppFolder own;
        own.saveFrame(1500, 1200, 10500, 7500);
        Harness& h = start(own, QStringLiteral("/SCHK=0"));
        EXPECT_EQ(h->size(), QSize(632, 453));
    }
    {
        AppFolder own;
        own.setIni("WINDOW", "WINSATE", "2");
        Harness& h = start(own, QStringLiteral("/SCHK=0"));
        EXPECT_TRUE(h->isMaximized()) << "the saved state applies whatever the switch";
    }
}

TEST_F(FirstActivation, PlacementGoesOnWithoutWaitingForTheWindowSystem)
{
    // A window manager answers a request that changes nothing with nothing, and some never answer:
    // once the window is on the screen the placement hands nothing to the event loop, and the
    // frame is where it was saved all the same.
    for (const char* state : {"0", "2"}) {
        AppFolder own;
        own.saveFrame(1500, 1200, 10500, 7500);
        own.setIni("WINDOW", "WINSATE", state);
        Harness& h = start(own);
        bool eventLoopRan = false;
        QTimer::singleShot(0, [&] { eventLoopRan = true; });
        h->PlaceFromSettings();
        EXPECT_FALSE(eventLoopRan) << "WINSATE " << state;
        EXPECT_EQ(h->isMaximized(), std::string(state) == "2");
        if (!h->isMaximized()) {
            EXPECT_EQ(h->frameGeometry(), QRect(100, 80, 700, 500));
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(eventLoopRan);
    }
}
