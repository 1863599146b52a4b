// Start-up of the main window: the state the load handler leaves before anything is opened.
#include "app/Startup.h"
#include "app/Version.h"
#include "platform/settings/UserStore.h"
#include "widgets/WidgetHarness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextDocument>
#include <QToolTip>
#include <gtest/gtest.h>

#include <memory>

using namespace orvtest;

namespace {

class StartupWidgets : public WindowTest {};
// A label's pixels equal those of a label beside it told to show the same text as plain text.
void ExpectShownAsPlainText(QLabel* label)
{
    // A label that narrows its text is compared with one of its kind.
    auto* fitting = qobject_cast<orv::FittingLabel*>(label);
    std::unique_ptr<QLabel> plain(fitting ? new orv::FittingLabel(label->parentWidget())
                                          : new QLabel(label->parentWidget()));
    if (fitting)
        static_cast<orv::FittingLabel*>(plain.get())->setKeptClear(fitting->textArea().left());
    plain->setTextFormat(Qt::PlainText);
    plain->setText(label->text());
    plain->setAlignment(label->alignment());
    plain->setGeometry(label->geometry());
    const auto pixels = [](QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_ARGB32); };
    EXPECT_EQ(pixels(label), pixels(plain.get())) << label->objectName().toStdString();
}

int checked(const QCheckBox* b)
{
    return b->checkState() == Qt::Checked ? 1 : (b->checkState() == Qt::PartiallyChecked ? 2 : 0);
}
} // namespace

TEST_F(StartupWidgets, WithoutSettingsOrDriveEverythingStartsAtDefaults)
{
    Harness& h = window();

    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_0")->isChecked());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "Check1", i)), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind1", i)), 1) << i;
        EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind2", i)), 1) << i;
    }
    EXPECT_TRUE(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text().isEmpty());
    EXPECT_TRUE(ctl<QLineEdit>(h.w(), "txtStrMaker_0")->text().isEmpty());
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_0")->isChecked());
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optMaker_0")->isChecked());
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：未指定"));

    // Nothing is open yet: the selector holds only ALL, with nothing selected; no list, no total.
    ASSERT_EQ(ctl<QComboBox>(h.w(), "Combo2")->count(), 1);
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->itemText(0), QStringLiteral("ALL"));
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->currentIndex(), -1);
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 0);
    EXPECT_EQ(h.rowCount(), 0);

    EXPECT_EQ(ctl<QLabel>(h.w(), "Label4")->text().toStdString(),
              orv::VersionCaption(ORVANTIS_VERSION_MAJOR, ORVANTIS_VERSION_MINOR, ORVANTIS_VERSION_PATCH,
                                  ORVANTIS_COPYRIGHT));
    EXPECT_TRUE(ctl<QLabel>(h.w(), "Label4")->text().startsWith(QStringLiteral("Version ")));

    // Once shown: every platform chosen, the title without a drive; closed, the settings file is
    // written beside the program.
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.selectedPlatforms(), h.platformItems());
    EXPECT_EQ(h->windowTitle(), QStringLiteral("Orvantis"));
    EXPECT_FALSE(folder.hasIni());
    h->close();
    EXPECT_EQ(folder.ini("SEARCH", "PFORMSTR"), ",GB,M'S BOX,MSX,N64,PC,PC-98,PS,SS");
}

TEST_F(StartupWidgets, SearchConditionsComeFromTheSettingsFile)
{
    folder.setIni("SEARCH", "NEW", "2");
    folder.setIni("SEARCH", "PFORMFL", "0");
    folder.setIni("SEARCH", "PFORMSTR", "PC,MSX");
    folder.setIni("SEARCH", "WORDFL", "0");
    folder.setIni("SEARCH", "WORDSELFL1", "0");
    folder.setIni("SEARCH", "WORDSELFL2", "2");
    folder.setIni("SEARCH", "WORD", "max life");
    folder.setIni("SEARCH", "WORDANDFL", "true");
    folder.setIni("SEARCH", "NOTWORDFL", "0");
    folder.setIni("SEARCH", "NOTWORDSELFL3", "0");
    folder.setIni("SEARCH", "NOTWORD", "demo");
    Harness& h = window();

    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_2")->isChecked());
    EXPECT_FALSE(ctl<QRadioButton>(h.w(), "optNew_0")->isChecked());
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "Check1_2")), 0);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "Check1_1")), 0);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind1_0")), 1);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind1_1")), 0);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind1_2")), 2);
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QStringLiteral("max life"));
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_1")->isChecked()) << "only the exact text True selects AND";
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "Check1_0")), 0);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind2_3")), 0);
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "chkFind2_0")), 1);
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrMaker_0")->text(), QStringLiteral("demo"));
    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optMaker_0")->isChecked()) << "the negative AND/OR is never restored";
}

TEST_F(StartupWidgets, OddSettingValues)
{
    {
        AppFolder own;
        own.setIni("SEARCH", "NEW", "5");
        own.setIni("SEARCH", "WORDANDFL", "False");
        Harness& h = window(own);
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_0")->isChecked());
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_1")->isChecked());
    }
    {
        AppFolder own;
        own.setIni("SEARCH", "NEW", "1");
        own.setIni("SEARCH", "WORDANDFL", "True");
        Harness& h = window(own);
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_1")->isChecked());
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_0")->isChecked());
    }
    {
        // A file written by the Japanese system: Shift-JIS bytes, CRLF lines.
        AppFolder own;
        writeFileBytes(own.iniPath(), "[SEARCH]\r\nWORD=\x83\x51\x81\x5b\x83\x80\r\nNOTWORD=max\r\n");
        Harness& h = window(own);
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QStringLiteral("ゲーム"));
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrMaker_0")->text(), QStringLiteral("max"));
    }
}

TEST_F(StartupWidgets, TheScreenSwitchDecidesWhereTheWindowGoes)
{
    // /SCHK=0 (in any letter case, anywhere in the command line) leaves the window where it was
    // created; /SCHK=1 places it from the settings on the first monitor, as does no switch or one
    // it does not know.
    folder.saveFrame(1500, 1200, 10500, 7500);
    for (const char* commandLine : {"/SCHK=0", "x /schk=1x", "SCHK=0 /SCHK=2"}) {
        Harness& h = start(QString::fromLatin1(commandLine));
        if (std::string(commandLine) == "/SCHK=0")
            EXPECT_EQ(h->size(), QSize(632, 453)) << commandLine;
        else
            EXPECT_EQ(h->frameGeometry(), QRect(100, 80, 700, 500)) << commandLine;
    }
}

TEST_F(StartupWidgets, StoredDriveIsShownAndShortened)
{
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/media/cd");
    {
        Harness& h = window();
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/cd"));
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->toolTip(), ctl<QLabel>(h.w(), "Label6")->text());
    }
    const std::string longRoot = "/media/cdrom/volume-twelve/"; // 27 characters
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, longRoot);
    {
        Harness& h = window();
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/cdrom/volume..."));
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text().size(), 31);
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->toolTip(),
                  QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：") + QString::fromStdString(longRoot));
        // A root ending in a separator gets none added before the entry's folder.
        ASSERT_TRUE(h.start());
        EXPECT_EQ(h->windowTitle(), QStringLiteral("Orvantis  Target：/media/cdrom/volume-twelve/UTIL/SS/POINT"));
    }
}

TEST_F(StartupWidgets, LabelsShowDataAsPlainText)
{
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/media/<b>cdrom</b>/vol");
    Harness& h = start();
    // The drive label keeps the tags and its shortening: 28 characters and "...".
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/<b>cdrom</b>..."));
    ExpectShownAsPlainText(ctl<QLabel>(h.w(), "Label6"));
    for (QLabel* l : {ctl<QLabel>(h.w(), "Label3"), ctl<QLabel>(h.w(), "Label5"), ctl<QLabel>(h.w(), "Label4"),
                      ctl<QLabel>(h.w(), "lblFolder")}) {
        l->setText(QStringLiteral("<i>1</i>/<font size=7>80</font>"));
        ExpectShownAsPlainText(l);
    }

    // Its tool tip shows the whole text as it is too.
    h->activateWindow();
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), ctl<QLabel>(h.w(), "Label6")->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(ctl<QLabel>(h.w(), "Label6"), &help);
    ASSERT_TRUE(waitFor([] { return QToolTip::isVisible(); }, 2000));
    const QString shown = QToolTip::text();
    QTextDocument doc;
    if (Qt::mightBeRichText(shown))
        doc.setHtml(shown);
    else
        doc.setPlainText(shown);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/<b>cdrom</b>/vol"));
    QToolTip::hideText();
    clearStoredDrive();
}
