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

TEST(StartupWidgets, WithoutSettingsOrDriveEverythingStartsAtDefaults)
{
    clearStoredDrive();
    AppFolder folder;
    Harness h(folder);

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
    EXPECT_EQ(orv::JoinPlatforms(h.w().search().platformSelection()), "@ALL@");

    EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：未指定"));
    EXPECT_TRUE(h.w().actions().driveRoot().empty());
    EXPECT_TRUE(h.w().actions().driveRootPath().empty());
    EXPECT_EQ(h.w().appFolder(), folder.path() + "/");
    EXPECT_EQ(h.w().settingsPath(), folder.path() + "/tevo.ini");

    // Nothing is open yet: the selector holds only ALL, with nothing selected.
    ASSERT_EQ(ctl<QComboBox>(h.w(), "Combo2")->count(), 1);
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->itemText(0), QStringLiteral("ALL"));
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->currentIndex(), -1);
    EXPECT_EQ(h.w().catalogue().state(), orv::CatalogueState::Unread);
    EXPECT_FALSE(h.w().catalogue().session().isOpen());
    EXPECT_EQ(h.w().catalogue().session().waitJob(), orv::WaitJob::Load);
    EXPECT_TRUE(h.w().catalogue().listsPending());
    EXPECT_EQ(h.w().catalogue().session().lastStatement(), "SELECT * FROM ;");
    EXPECT_FALSE(h.w().activated());
    EXPECT_EQ(h.w().screenCheck(), 255);
    EXPECT_EQ(h.w().census().monitorCount, QGuiApplication::screens().size());

    EXPECT_EQ(ctl<QLabel>(h.w(), "Label4")->text().toStdString(),
              orv::VersionCaption(ORVANTIS_VERSION_MAJOR, ORVANTIS_VERSION_MINOR, ORVANTIS_VERSION_PATCH,
                                  ORVANTIS_COPYRIGHT));
    EXPECT_TRUE(ctl<QLabel>(h.w(), "Label4")->text().startsWith(QStringLiteral("Version ")));
}

TEST(StartupWidgets, SearchConditionsComeFromTheSettingsFile)
{
    clearStoredDrive();
    AppFolder folder;
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
    Harness h(folder);

    EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_2")->isChecked());
    EXPECT_FALSE(ctl<QRadioButton>(h.w(), "optNew_0")->isChecked());
    EXPECT_EQ(checked(ctl<QCheckBox>(h.w(), "Check1_2")), 0);
    EXPECT_EQ(orv::JoinPlatforms(h.w().search().platformSelection()), "PC,MSX");
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

TEST(StartupWidgets, OddSettingValues)
{
    clearStoredDrive();
    {
        AppFolder folder;
        folder.setIni("SEARCH", "NEW", "5");
        folder.setIni("SEARCH", "WORDANDFL", "False");
        Harness h(folder);
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_0")->isChecked());
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_1")->isChecked());
    }
    {
        AppFolder folder;
        folder.setIni("SEARCH", "NEW", "1");
        folder.setIni("SEARCH", "WORDANDFL", "True");
        Harness h(folder);
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optNew_1")->isChecked());
        EXPECT_TRUE(ctl<QRadioButton>(h.w(), "optGame_0")->isChecked());
    }
    {
        // A file written by the Japanese system: Shift-JIS bytes, CRLF lines.
        AppFolder folder;
        writeFileBytes(folder.iniPath(), "[SEARCH]\r\nWORD=\x83\x51\x81\x5b\x83\x80\r\nNOTWORD=max\r\n");
        Harness h(folder);
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QStringLiteral("ゲーム"));
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrMaker_0")->text(), QStringLiteral("max"));
    }
}

TEST(StartupWidgets, ScreenSwitchLimitsTheMonitorCount)
{
    clearStoredDrive();
    AppFolder folder;
    {
        Harness h(folder, QStringLiteral("/SCHK=0"));
        EXPECT_EQ(h.w().screenCheck(), 0);
        EXPECT_EQ(h.w().census().monitorCount, 0);
    }
    {
        Harness h(folder, QStringLiteral("x /schk=1x"));
        EXPECT_EQ(h.w().screenCheck(), 1);
        EXPECT_EQ(h.w().census().monitorCount, 1);
    }
    {
        Harness h(folder, QStringLiteral("SCHK=0 /SCHK=2"));
        EXPECT_EQ(h.w().screenCheck(), 255);
        EXPECT_EQ(h.w().census().monitorCount, QGuiApplication::screens().size());
    }
}

TEST(StartupWidgets, StoredDriveIsShownAndShortened)
{
    AppFolder folder;
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/media/cd");
    {
        Harness h(folder);
        EXPECT_EQ(h.w().actions().driveRoot(), "/media/cd");
        EXPECT_EQ(h.w().actions().driveRootPath(), "/media/cd/");
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/cd"));
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->toolTip(), ctl<QLabel>(h.w(), "Label6")->text());
    }
    const std::string longRoot = "/media/cdrom/volume-twelve/"; // 27 characters
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, longRoot);
    {
        Harness h(folder);
        EXPECT_EQ(h.w().actions().driveRootPath(), longRoot) << "a root ending in a separator gets none added";
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：/media/cdrom/volume..."));
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->text().size(), 31);
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label6")->toolTip(),
                  QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：") + QString::fromStdString(longRoot));
    }
    clearStoredDrive();
}

TEST(StartupWidgets, LabelsShowDataAsPlainText)
{
    clearStoredDrive();
    AppFolder folder;
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/media/<b>cdrom</b>/vol");
    Harness h(folder);
    ASSERT_TRUE(h.start());
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
