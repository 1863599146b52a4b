// The first activation opening the catalogue, the lists it fills, the wait dialog's jobs, and the
// failure paths of the open and of the record query.
#include "catalogue/Schema.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/dlgWait.h"
#include "widgets/WidgetHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace orvtest;

namespace {

class OpenCatalogue : public WindowTest {};

const QStringList kCaptions = {
    QStringLiteral("収録CD"),   QStringLiteral("新作"), QStringLiteral("プラットフォーム"), QStringLiteral("ゲーム"),
    QStringLiteral("メーカー"), QStringLiteral("効果"), QStringLiteral("ファイル名"),       QStringLiteral("動作OS"),
    QStringLiteral("F/S"),      QStringLiteral("著作"), QStringLiteral("CD発売日")};
const float kDesignWidths[] = {700, 500, 1000, 5000, 3000, 2000, 2000, 1000, 500, 2000, 1000};

QStringList gridCaptions(orv::frmMain& w)
{
    QStringList out;
    for (int i = 0; i < ctl<orv::DBGrid>(w, "DBGrid1")->columnCount(); ++i)
        out << ctl<orv::DBGrid>(w, "DBGrid1")->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    return out;
}

// Every wait dialog shown, with its title and message, and the job in force.
class WaitDialogSpy : public QObject {
public:
    struct Seen {
        QString title, message;
        QPoint centre, mainCentre;
        Qt::WindowFlags flags;
        QSize minimum, maximum;
        QImage picture;
    };
    explicit WaitDialogSpy(orv::frmMain* w) : w_(w) { qApp->installEventFilter(this); }
    ~WaitDialogSpy() override { qApp->removeEventFilter(this); }
    std::vector<Seen> seen;
    QStringList mainTitles;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            if (auto* d = qobject_cast<orv::dlgWait*>(o))
                seen.push_back({d->windowTitle(), d->Label1->text(), d->geometry().center(),
                                w_->frameGeometry().center(), d->windowFlags(), d->minimumSize(), d->maximumSize(),
                                d->grab().toImage()});
        if (e->type() == QEvent::WindowTitleChange && o == w_)
            mainTitles << w_->windowTitle();
        return false;
    }

private:
    orv::frmMain* w_;
};

} // namespace

TEST_F(OpenCatalogue, FirstActivationFillsListsAndShowsEveryEntry)
{
    Harness& h = start();
    ASSERT_FALSE(h.ended);
    EXPECT_TRUE(h.messages.empty()) << h.messageTexts().join(QLatin1Char('|')).toStdString();

    // Volumes in the catalogue's order, without the CD prefix where the number is 0.
    QStringList items;
    QList<qlonglong> counts;
    for (int i = 0; i < ctl<QComboBox>(h.w(), "Combo2")->count(); ++i) {
        items << ctl<QComboBox>(h.w(), "Combo2")->itemText(i);
        counts << ctl<QComboBox>(h.w(), "Combo2")->itemData(i).toLongLong();
    }
    QStringList expected = {QStringLiteral("ALL"), QStringLiteral("0")};
    for (int v = 1; v <= 12; ++v)
        expected << QStringLiteral("CD%1").arg(v, 3, 10, QLatin1Char('0'));
    expected << QStringLiteral("ABC");
    EXPECT_EQ(items, expected);
    const QList<qlonglong> volumeRows = {1, 7, 6, 7, 6, 7, 6, 6, 7, 6, 7, 6, 7, 1};
    EXPECT_EQ(counts.mid(1), volumeRows);
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->currentText(), QStringLiteral("ALL"));

    // One platform line per value, the empty one included, all selected by default.
    const QStringList platforms = h.platformItems();
    EXPECT_EQ(platforms.size(), 9);
    EXPECT_TRUE(platforms.contains(QString()));
    EXPECT_TRUE(platforms.contains(QStringLiteral("M'S BOX")));
    EXPECT_EQ(h.selectedPlatforms(), platforms);
    const std::map<QString, int> perPlatform = {{"PS", 11}, {"SS", 8},     {"PC", 13},     {"MSX", 13}, {"N64", 11},
                                                {"GB", 11}, {"PC-98", 10}, {"M'S BOX", 1}, {"", 2}};
    for (int i = 0; i < ctl<orv::ListBox>(h.w(), "List1")->count(); ++i)
        EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->item(i)->data(Qt::UserRole).toInt(),
                  perPlatform.at(ctl<orv::ListBox>(h.w(), "List1")->item(i)->text()))
            << ctl<orv::ListBox>(h.w(), "List1")->item(i)->text().toStdString();

    EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：80"));
    EXPECT_EQ(h.rowCount(), 80);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("1/80"));
    EXPECT_EQ(h->windowTitle(), QStringLiteral("Orvantis"));
    EXPECT_FALSE(ctl<QWidget>(h.w(), "Frame10")->isVisible());

    // Table order, the eleven captions, the design's widths (fitted to the font: widened alike,
    // never narrowed), the four hidden fields gone.
    std::vector<int> tableOrder(80);
    for (int i = 0; i < 80; ++i)
        tableOrder[static_cast<size_t>(i)] = i + 1;
    EXPECT_EQ(h.shownRows(), tableOrder);
    EXPECT_EQ(gridCaptions(h.w()), kCaptions);
    const auto* grid = ctl<orv::DBGrid>(h.w(), "DBGrid1");
    const float factor = grid->columnWidth(10) / kDesignWidths[10];
    EXPECT_GE(factor, 1.f);
    for (int i = 0; i <= 10; ++i)
        EXPECT_NEAR(grid->columnWidth(i), kDesignWidths[i] * factor, 1.f) << i;
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(3), orv::TwipsToPxX(grid->columnWidth(3)));

    // The card boxes show the current entry's fields and follow the cursor.
    EXPECT_EQ(ctl<QPlainTextEdit>(h.w(), "txtGame")->toPlainText(), QStringLiteral("ぷにぷにパーク"));
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtCDDate")->text(), QStringLiteral("1998/02/01"));
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtNo")->text(), QStringLiteral("011"));
    EXPECT_EQ(ctl<QLabel>(h.w(), "lblFolder")->text(), QStringLiteral("UTIL\\SS\\POINT"));
    h->views().StepRecord(3);
    EXPECT_EQ(ctl<QPlainTextEdit>(h.w(), "txtGame")->toPlainText(), QStringLiteral("月影の剣士"));
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtSS")->text(), QStringLiteral("PC-98"));
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtF_S")->text(), QStringLiteral("F"));
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("2/80"));
    EXPECT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->currentIndex().row(), 1);
    // Clicking a row in the grid moves the card too.
    ctl<orv::DBGrid>(h.w(), "DBGrid1")->setCurrentIndex(ctl<orv::DBGrid>(h.w(), "DBGrid1")->model()->index(15, 2));
    EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtNo")->text(), QStringLiteral("0")) << "row 16 is the volume stored as 0";
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("16/80"));
    EXPECT_TRUE(ctl<QLineEdit>(h.w(), "txtCDDate")->text().isEmpty()) << "a Null date shows empty";
}

TEST_F(OpenCatalogue, PlatformPreselectionFromTheSettings)
{
    {
        AppFolder own;
        own.setIni("SEARCH", "PFORMSTR", "PC,MSX");
        Harness& h = start(own);
        EXPECT_EQ(h.selectedPlatforms(), (QStringList{QStringLiteral("MSX"), QStringLiteral("PC")}));
    }
    {
        AppFolder own;
        own.setIni("SEARCH", "PFORMSTR", "");
        Harness& h = start(own);
        EXPECT_EQ(h.selectedPlatforms(), QStringList{QString()});
    }
    {
        AppFolder own;
        own.setIni("SEARCH", "PFORMSTR", "pc, MSX,M'S BOX,NES");
        Harness& h = start(own);
        EXPECT_EQ(h.selectedPlatforms(), QStringList{QStringLiteral("M'S BOX")}) << "exact names only";
    }
}

TEST_F(OpenCatalogue, WaitDialogTextsPerJob)
{
    const QString wait = QStringLiteral("\r\nしばらくお待ちください。");
    EXPECT_EQ(orv::dlgWait::MessageFor(orv::WaitJob::Load),
              QStringLiteral("データベースファイル読み込み中・・・") + wait);
    EXPECT_EQ(orv::dlgWait::MessageFor(orv::WaitJob::Search), QStringLiteral("検索中・・・") + wait);
    EXPECT_EQ(orv::dlgWait::MessageFor(orv::WaitJob::Sort), QStringLiteral("ソート中・・・") + wait);
    EXPECT_EQ(orv::dlgWait::MessageFor(orv::WaitJob::Copy), QStringLiteral("CDイメージからコピー中・・・") + wait);
    EXPECT_TRUE(orv::dlgWait::MessageFor(static_cast<orv::WaitJob>(4)).isEmpty());
    EXPECT_EQ(orv::dlgWait::TitleFor(orv::WaitJob::Load), QStringLiteral("Orvantis （読込）"));
    EXPECT_EQ(orv::dlgWait::TitleFor(orv::WaitJob::Search), QStringLiteral("Orvantis （検索）"));
    EXPECT_EQ(orv::dlgWait::TitleFor(orv::WaitJob::Sort), QStringLiteral("Orvantis （ソート）"));
    EXPECT_EQ(orv::dlgWait::TitleFor(orv::WaitJob::Copy), QStringLiteral("Orvantis （コピー）"));
    EXPECT_TRUE(orv::dlgWait::TitleFor(static_cast<orv::WaitJob>(7)).isEmpty());
}

TEST_F(OpenCatalogue, OpenShowsLoadTwiceThenSortAndSearchShowTheirJobs)
{
    Harness& h = window();
    WaitDialogSpy spy(&h.w());
    ASSERT_TRUE(h.start());
    ASSERT_EQ(spy.seen.size(), 2u);
    for (const auto& s : spy.seen) {
        EXPECT_EQ(s.title, QStringLiteral("Orvantis （読込）"));
        EXPECT_TRUE(s.message.startsWith(QStringLiteral("データベースファイル読み込み中・・・")));
        EXPECT_TRUE(s.message.endsWith(QStringLiteral("しばらくお待ちください。")));
        EXPECT_LE((s.centre - s.mainCentre).manhattanLength(), 2) << "centred on the main window";
    }
    // While a statement runs the title shows it in double quotes.
    EXPECT_TRUE(spy.mainTitles.contains(
        QStringLiteral("\"SELECT gt_cdno, COUNT(*) as cnt FROM tevoxB GROUP BY gt_cdno ORDER BY gt_cdno ;\"")));
    EXPECT_TRUE(spy.mainTitles.contains(QStringLiteral("\"SELECT * FROM tevoxB;\"")));
    EXPECT_EQ(h->windowTitle(), QStringLiteral("Orvantis"));
    h.clickHeader(3);
    ctl<QPushButton>(h.w(), "Command1")->click();
    ctl<QPushButton>(h.w(), "Command1")->click();
    ASSERT_EQ(spy.seen.size(), 5u);
    EXPECT_EQ(spy.seen[2].title, QStringLiteral("Orvantis （ソート）"));
    EXPECT_TRUE(spy.seen[2].message.startsWith(QStringLiteral("ソート中・・・")));
    for (size_t i : {3u, 4u}) {
        EXPECT_EQ(spy.seen[i].title, QStringLiteral("Orvantis （検索）"));
        EXPECT_TRUE(spy.seen[i].message.startsWith(QStringLiteral("検索中・・・")));
    }
    // The lists were filled once: the later jobs left them alone.
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->count(), 15);
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 9);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：80"));
}

TEST_F(OpenCatalogue, WaitDialogIsFixedWithATitleBarOfItsOwnWithoutButtons)
{
    Harness& h = window();
    WaitDialogSpy spy(&h.w());
    ASSERT_TRUE(h.start());
    ASSERT_EQ(spy.seen.size(), 2u);
    const auto& s = spy.seen[0];
    // No frame from the window manager, hence none of its buttons; a fixed size.
    EXPECT_TRUE(s.flags & Qt::FramelessWindowHint);
    for (auto hint : {Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint, Qt::WindowCloseButtonHint,
                      Qt::WindowSystemMenuHint, Qt::WindowContextHelpButtonHint})
        EXPECT_FALSE(s.flags & hint) << hint;
    EXPECT_EQ(s.minimum, s.maximum);
    EXPECT_EQ(s.minimum, QSize(346, 106)) << "5190 x 1590 twips";

    // Its own title bar: the highlight colour across the top, the title in it, the message below.
    const QImage& p = s.picture;
    ASSERT_EQ(p.size(), QSize(346, 106));
    const QRgb bar = QApplication::palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const QRgb window = QApplication::palette().color(QPalette::Active, QPalette::Window).rgb();
    int barPixels = 0, titlePixels = 0;
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < p.width() - 1; ++x)
            (p.pixel(x, y) == bar ? barPixels : titlePixels)++;
    EXPECT_GT(barPixels, 18 * 300);
    EXPECT_GT(titlePixels, 30) << "the title is written in the bar";
    EXPECT_EQ(p.pixel(p.width() / 2, 25), window);
    EXPECT_EQ(p.pixel(p.width() / 2, 100), window);
}

// --- Failures -----------------------------------------------------------------------------------

class OpenFailure : public testing::TestWithParam<std::string> {};

TEST_P(OpenFailure, EndsTheProgramWithOneMessageAndSavesTheSettings)
{
    clearStoredDrive();
    const std::string name = GetParam();
    AppFolder folder(name == "missing" ? std::string() : dataPath("bad/" + name + ".mdb"));
    // With no catalogue beside it the program counts as installed and finds none anywhere.
    InstalledFolders installed;
    Harness h(folder);
    ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("kept"));
    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.ended);
    EXPECT_TRUE(h.w().catalogue().openFailed());
    EXPECT_EQ(h.messageTexts().count(kOpenFailure), 1) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    // At most one report of the engine's error before the open failure.
    EXPECT_LE(h.messages.size(), 2u) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    ASSERT_FALSE(h.messages.empty());
    EXPECT_EQ(h.messages.back().text, kOpenFailure);
    EXPECT_EQ(h.messages.back().style, orv::MsgStyle::OkOnly);
    for (const auto& m : h.messages) {
        if (m.text != kOpenFailure) {
            EXPECT_TRUE(m.text.startsWith(QStringLiteral("Err "))) << m.text.toStdString();
        }
    }
    // An installed program's settings are the user's.
    const bool installedRun = name == "missing";
    EXPECT_EQ(installedRun, !folder.hasIni());
    auto saved = [&](const char* section, const char* key) {
        return installedRun ? installed.ini(section, key) : folder.ini(section, key);
    };
    EXPECT_EQ(saved("SEARCH", "WORD"), "kept");
    EXPECT_EQ(saved("DISP", "MODE"), "<none>") << "the saved view was never applied: nothing to save";
    EXPECT_FALSE(h->isVisible());

    // Later selections never retry the open.
    const size_t before = h.messages.size();
    h->catalogue().SetCombo2Text(QStringLiteral("ALL"));
    EXPECT_EQ(h.messages.size(), before);
}

INSTANTIATE_TEST_SUITE_P(BadFiles, OpenFailure,
                         testing::Values("missing", "empty", "text", "truncated", "zeroed-page", "no-table"));

// A catalogue cut short, with a page of its table overwritten, or one that is a FIFO: the user
// gets the open failure, never part of the list counted as all of it (54 of 80 entries for the
// first), and the program does not block.
TEST_F(OpenCatalogue, DamagedOrNonRegularCatalogueFailsTheOpen)
{
    const std::string whole = orvtest::readFileBytes(dataPath("tevox20.mdb"));
    std::string overwritten = whole;
    overwritten[29 * 4096] = 2;
    for (const std::string& bytes : {whole.substr(0, 33 * 4096), overwritten, std::string()}) {
        clearStoredDrive();
        orvtest::TempDir src;
        if (!bytes.empty())
            orvtest::writeFileBytes(src.file("damaged.mdb"), bytes);
        AppFolder own(bytes.empty() ? std::string() : src.file("damaged.mdb"));
        if (bytes.empty()) {
            ASSERT_EQ(::mkfifo((own.path() + "/tevox20.mdb").c_str(), 0600), 0);
        }
        Harness& h = start(own);
        EXPECT_TRUE(h.ended);
        EXPECT_EQ(h.messageTexts(), QStringList{kOpenFailure});
        EXPECT_NE(ctl<QLabel>(h.w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：54"));
    }
}

TEST_F(OpenCatalogue, FileWithFourteenFieldsReportsTheColumnErrorThenFails)
{
    AppFolder custom(dataPath("bad/fields14.mdb"));
    Harness& h = start(custom);
    EXPECT_TRUE(h.ended);
    ASSERT_EQ(h.messages.size(), 2u) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(h.messages[0].text.startsWith(QStringLiteral("Err "))) << h.messages[0].text.toStdString();
    EXPECT_TRUE(h.messages[0].text.contains(QStringLiteral("： "))) << h.messages[0].text.toStdString();
    EXPECT_EQ(h.messages[1].text, kOpenFailure);
    EXPECT_TRUE(custom.hasIni());
}

TEST_F(OpenCatalogue, EmptyTableOpensWithAnEmptyList)
{
    AppFolder custom(dataPath("bad/rows0.mdb"));
    Harness& h = start(custom);
    EXPECT_FALSE(h.ended);
    EXPECT_TRUE(h.messages.empty()) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ctl<QComboBox>(h.w(), "Combo2")->count(), 1);
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 0);
    EXPECT_EQ(h.rowCount(), 0);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("0/0"));
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：0"));
    EXPECT_EQ(gridCaptions(h.w()), kCaptions);

    // Nothing to step to, nothing to search: no crash, no message.
    for (int d = 1; d <= 4; ++d)
        h->views().StepRecord(d);
    ctl<QPushButton>(h.w(), "Command1")->click();
    h.clickHeader(3);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("0/0"));
    // Reset with an empty platform list selects nothing and still resets the rest.
    ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("x"));
    ctl<QPushButton>(h.w(), "Command5")->click();
    EXPECT_TRUE(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text().isEmpty());
    EXPECT_EQ(ctl<orv::ListBox>(h.w(), "List1")->count(), 0);
    EXPECT_TRUE(h.messages.empty());
}

TEST_F(OpenCatalogue, SixteenthFieldStaysAsAColumnAfterTheList)
{
    AppFolder custom(dataPath("bad/fields16.mdb"));
    Harness& h = start(custom);
    EXPECT_FALSE(h.ended);
    EXPECT_TRUE(h.messages.empty()) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(h.rowCount(), 80);
    ASSERT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->columnCount(), 12);
    EXPECT_EQ(gridCaptions(h.w()).mid(0, 11), kCaptions);
    EXPECT_EQ(gridCaptions(h.w()).value(11), QStringLiteral("gt_extra"));
    EXPECT_EQ(h.columnValues(11).first(), QStringLiteral("extra-001"));
    EXPECT_EQ(ctl<orv::DBGrid>(h.w(), "DBGrid1")->model()->index(0, 6).data().toString(), QStringLiteral("POINT.EXE"));

    // Only the eleven list columns sort; the extra column's header does nothing.
    const QStringList unsorted = h.columnValues(11);
    h.clickHeader(3);
    const QStringList byGame = h.columnValues(11);
    ASSERT_NE(byGame, unsorted);
    h.clickHeader(11);
    h.clickHeader(11);
    EXPECT_TRUE(h.messages.empty()) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(h.columnValues(11), byGame);
}

TEST_F(OpenCatalogue, RejectedStatementShowsThePreviousListAgain)
{
    Harness& h = start();
    ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("life"));
    ctl<QPushButton>(h.w(), "Command1")->click();
    const std::vector<int> lifeRows = h.shownRows();
    ASSERT_FALSE(lifeRows.empty());
    ASSERT_LT(lifeRows.size(), 80u);

    // A sort text the engine rejects (a column the table does not have).
    h.w().catalogue().session().setSortText(" ORDER BY gt_nosuchfield");
    ctl<QPushButton>(h.w(), "Command1")->click();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_TRUE(h.messages[0].text.startsWith(QStringLiteral("Err "))) << h.messages[0].text.toStdString();
    EXPECT_TRUE(h.messages[0].text.contains(QStringLiteral("： "))) << h.messages[0].text.toStdString();
    EXPECT_EQ(h.messages[0].style, orv::MsgStyle::OkOnly);
    EXPECT_EQ(h.shownRows(), lifeRows);
    EXPECT_EQ(gridCaptions(h.w()), kCaptions);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("1/%1").arg(lifeRows.size()));
    // The rejected statement never becomes the fallback: rejected again, the same list comes back.
    ctl<QPushButton>(h.w(), "Command1")->click();
    EXPECT_EQ(h.messages.size(), 2u);
    EXPECT_EQ(h.shownRows(), lifeRows);
}

TEST_F(OpenCatalogue, FailedRetryLeavesAnEmptyUsableList)
{
    Harness& h = start();
    h.w().catalogue().session().setSortText(" ORDER BY gt_nosuchfield");
    h.w().catalogue().session().setLastStatement("SELECT * FROM nosuchtable;");
    ctl<QPushButton>(h.w(), "Command1")->click();
    ASSERT_EQ(h.messages.size(), 1u) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(h.messages[0].text.startsWith(QStringLiteral("Err ")));
    EXPECT_EQ(h.rowCount(), 0);
    EXPECT_EQ(gridCaptions(h.w()), kCaptions);
    EXPECT_FALSE(QApplication::overrideCursor()) << "the hourglass is gone";
    EXPECT_FALSE(h.ended);

    // The program goes on: a sort of a good statement works again.
    h.w().catalogue().session().setSortText({});
    ctl<QPushButton>(h.w(), "Command1")->click();
    EXPECT_EQ(h.rowCount(), 80);
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label3")->text(), QStringLiteral("1/80"));
    EXPECT_EQ(h.messages.size(), 1u);
}

// A catalogue that reads but holds a Null where the lists need text: the list reports it, its
// retry with the start statement fails too, and the open ends the program.
TEST_F(OpenCatalogue, NullVolumeOrPlatformReportsThenFailsTheOpen)
{
    for (const char* column : {"gt_cdno", "gt_pf"}) {
        clearStoredDrive();
        orvtest::TempDir src;
        const std::string db = src.file("nulls.sqlite");
        sqlite3* s = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &s), SQLITE_OK);
        std::string create = "CREATE TABLE tevoxB (";
        for (int i = 0; i < 15; ++i)
            create += std::string(i ? "," : "") + std::string(orv::schema::kFields[static_cast<size_t>(i)]) + " TEXT";
        create += ");";
        sqlite3_exec(s, create.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(s, "INSERT INTO tevoxB (gt_cdno, gt_pf, gt_game) VALUES ('001', 'PC', 'a');", nullptr, nullptr,
                     nullptr);
        const std::string nullRow = std::string("INSERT INTO tevoxB (gt_cdno, gt_pf, gt_game) VALUES (")
            + (std::string(column) == "gt_cdno" ? "NULL, 'PC'" : "'002', NULL") + ", 'b');";
        sqlite3_exec(s, nullRow.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(s);

        AppFolder own(db);
        Harness& h = start(own);
        EXPECT_TRUE(h.ended) << column;
        ASSERT_EQ(h.messages.size(), 2u) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(h.messages[0].text.startsWith(QStringLiteral("Err 94： "))) << h.messages[0].text.toStdString();
        EXPECT_EQ(h.messages[1].text, kOpenFailure);
    }
}
