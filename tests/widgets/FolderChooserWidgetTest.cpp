// The drive button's folder chooser: the discs first, Japanese texts only, folders only, and no
// settings file of the toolkit's.
#include "platform/widgets/FolderChooser.h"
#include "platform/widgets/Toolkit.h"
#include "support/TestSupport.h"
#include "widgets/WidgetHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;
using orv::ChooserPlace;
using orv::FolderChooser;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

// The chooser's places (discs, home, root) and the folder tree of the place chosen.
QListWidget* placesOf(const FolderChooser& c) { return c.findChild<QListWidget*>(QStringLiteral("places")); }
QTreeView* foldersOf(const FolderChooser& c) { return c.findChild<QTreeView*>(QStringLiteral("folders")); }

QAbstractButton* okButton(const FolderChooser& c)
{
    for (QAbstractButton* b : c.findChildren<QAbstractButton*>())
        if (b->text() == QStringLiteral("OK"))
            return b;
    return nullptr;
}

// The visible texts of the dialog: labels, buttons, list items, the tree's visible headings.
QStringList visibleTexts(const FolderChooser& c)
{
    QStringList texts{c.windowTitle()};
    for (const QLabel* l : c.findChildren<QLabel*>())
        texts << l->text();
    for (const QAbstractButton* b : c.findChildren<QAbstractButton*>())
        texts << b->text();
    for (int i = 0; i < placesOf(c)->count(); ++i)
        texts << placesOf(c)->item(i)->text();
    const QTreeView* tree = foldersOf(c);
    for (int column = 0; column < tree->model()->columnCount(); ++column) {
        if (!tree->isColumnHidden(column))
            texts << tree->model()->headerData(column, Qt::Horizontal).toString();
    }
    return texts;
}

class Chooser : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(disc.path() / "UTIL/SS");
        writeFileBytes((disc.path() / "README.TXT").string(), "a file is never offered");
        places = {{ChooserPlace::Kind::Disc, "お楽しみCD 11", disc.path().string()},
                  {ChooserPlace::Kind::Home, "ホーム", home.path().string()},
                  {ChooserPlace::Kind::Root, "ルート", "/"}};
    }

    TempDir disc, home;
    std::vector<ChooserPlace> places;
    const QString title = QStringLiteral("お楽しみCDのドライブを選択して下さい");
};

} // namespace

TEST_F(Chooser, OpensAtTheTopWithTheDiscsFirstInJapaneseAndNothingChosen)
{
    FolderChooser c(nullptr, title, places);
    EXPECT_EQ(c.windowTitle(), title);
    ASSERT_EQ(placesOf(c)->count(), 3);
    EXPECT_EQ(placesOf(c)->item(0)->text(), QStringLiteral("お楽しみCD 11"));
    EXPECT_EQ(placesOf(c)->item(0)->toolTip(), q(disc.path()));
    EXPECT_EQ(placesOf(c)->item(2)->text(), QStringLiteral("ルート"));
    // No folder chosen before: none now, and OK waits for one.
    EXPECT_EQ(placesOf(c)->currentRow(), -1);
    EXPECT_TRUE(c.chosenFolder().isEmpty());
    EXPECT_TRUE(c.findChild<QLineEdit*>(QStringLiteral("chosen"))->text().isEmpty());
    QAbstractButton* ok = okButton(c);
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->isEnabled());
    c.accept();
    EXPECT_NE(c.result(), QDialog::Accepted);

    const QStringList texts = visibleTexts(c);
    EXPECT_TRUE(texts.contains(QStringLiteral("名前")));
    EXPECT_TRUE(texts.contains(QStringLiteral("更新日時")));
    EXPECT_TRUE(texts.contains(QStringLiteral("キャンセル")));
    for (const QString& t : texts)
        EXPECT_FALSE(t.contains(QRegularExpression(QStringLiteral("Folder|Drive|Name|Date|Type|Size|Cancel"))))
            << t.toStdString();
    // Every control is named for a screen reader, the places list and the folder tree too.
    for (QWidget* control : c.findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus || control->parentWidget() != &c)
            continue;
        const QString name = control->accessibleName().isEmpty()
            ? (qobject_cast<QAbstractButton*>(control) ? qobject_cast<QAbstractButton*>(control)->text() : QString())
            : control->accessibleName();
        EXPECT_FALSE(name.isEmpty()) << control->metaObject()->className() << " "
                                     << control->objectName().toStdString();
    }
    EXPECT_EQ(placesOf(c)->accessibleName(), QStringLiteral("場所"));
    EXPECT_EQ(foldersOf(c)->accessibleName(), QStringLiteral("フォルダの一覧"));
}

TEST_F(Chooser, TheFolderChosenBeforeIsSelectedAndInViewSoThatOkKeepsIt)
{
    // Deep enough below its place that it has to be scrolled to.
    for (int i = 0; i < 60; ++i)
        fs::create_directories(disc.path() / "UTIL" / ("A" + std::to_string(100 + i)));
    const fs::path saved = disc.path() / "UTIL" / "A159";
    FolderChooser c(nullptr, title, places, q(saved));
    c.resize(500, 300);
    c.show();
    EXPECT_EQ(placesOf(c)->currentRow(), 0);
    EXPECT_EQ(c.chosenFolder(), q(saved));
    EXPECT_TRUE(okButton(c)->isEnabled());
    auto* model = qobject_cast<QFileSystemModel*>(foldersOf(c)->model());
    ASSERT_EQ(model->filePath(foldersOf(c)->currentIndex()), q(saved));
    // In view once its folder is read.
    ASSERT_TRUE(waitFor([&] {
        const QRect r = foldersOf(c)->visualRect(foldersOf(c)->currentIndex());
        return r.isValid() && foldersOf(c)->viewport()->rect().contains(r);
    }));
    c.accept();
    EXPECT_EQ(c.result(), QDialog::Accepted);
    EXPECT_EQ(c.chosenFolder(), q(saved));

    // A place itself: the place is selected, nothing below it.
    FolderChooser atPlace(nullptr, title, places, q(home.path()));
    EXPECT_EQ(placesOf(atPlace)->currentRow(), 1);
    EXPECT_FALSE(foldersOf(atPlace)->currentIndex().isValid());
    EXPECT_EQ(atPlace.chosenFolder(), q(home.path()));
    // A folder that is gone: nothing chosen.
    FolderChooser gone(nullptr, title, places, q(disc.path() / "GONE"));
    EXPECT_EQ(placesOf(gone)->currentRow(), -1);
    EXPECT_TRUE(gone.chosenFolder().isEmpty());
}

TEST_F(Chooser, AFolderCanBeTypedOrPastedAndAMissingOneIsSaid)
{
    QStringList messages;
    orv::MsgBoxHook::install([&](const QString& text, orv::MsgStyle) { messages << text; });
    const fs::path hidden = fs::path(QDir::homePath().toStdString()) / ".hidden" / "CD";
    fs::create_directories(hidden);
    FolderChooser c(nullptr, title, places);
    auto* field = c.findChild<QLineEdit*>(QStringLiteral("chosen"));
    ASSERT_FALSE(field->isReadOnly());
    c.show();
    EXPECT_EQ(c.focusWidget(), field) << "nothing chosen: the field has the keys";
    EXPECT_EQ(placesOf(c)->currentRow(), -1);
    QTest::keyClicks(field, QStringLiteral("/no/such/folder"));
    EXPECT_TRUE(okButton(c)->isEnabled());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(messages, QStringList{QStringLiteral("フォルダ「/no/such/folder」が見つかりません。")});
    EXPECT_TRUE(c.isVisible()) << "the chooser stays open";
    // A hidden folder below the home folder, as "~/...".
    field->setText(QStringLiteral("~/.hidden/CD/"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(c.result(), QDialog::Accepted);
    EXPECT_EQ(c.chosenFolder(), q(hidden));
    EXPECT_EQ(messages.size(), 1);
    orv::MsgBoxHook::remove();
}

TEST_F(Chooser, ShowsFoldersOnlyWithWholeDatesAndChoosesThem)
{
    FolderChooser c(nullptr, title, places);
    auto* model = qobject_cast<QFileSystemModel*>(foldersOf(c)->model());
    ASSERT_NE(model, nullptr);
    // The listing of the disc's top, files and folders alike, has come in whole.
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    c.resize(400, 300);
    c.show();
    const QString top = q(disc.path());
    ASSERT_TRUE(waitFor([&] {
        return std::any_of(loaded.begin(), loaded.end(), [&](const QList<QVariant>& a) { return a.value(0) == top; });
    }));
    const QModelIndex root = foldersOf(c)->rootIndex();
    ASSERT_EQ(model->rowCount(root), 1) << "only the folder UTIL";
    const QModelIndex util = model->index(0, 0, root);
    EXPECT_EQ(util.data().toString(), QStringLiteral("UTIL"));
    const QString date = model->index(0, 3, root).data().toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}$")).match(date).hasMatch())
        << date.toStdString();
    // The date column is as wide as its dates.
    const QFontMetrics fm(foldersOf(c)->font());
    EXPECT_GE(foldersOf(c)->columnWidth(3), fm.horizontalAdvance(date));

    foldersOf(c)->setCurrentIndex(util);
    EXPECT_EQ(c.chosenFolder(), q(disc.path() / "UTIL"));
    // Another place starts again at its top.
    placesOf(c)->setCurrentRow(1);
    EXPECT_EQ(c.chosenFolder(), q(home.path()));
}

TEST_F(Chooser, BrowseForFolderReturnsTheChoiceOrNothingAndWritesNoSettings)
{
    const fs::path config = fs::path(std::getenv("XDG_CONFIG_HOME"));
    const auto answer = [](bool accept) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<FolderChooser*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            accept ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    EXPECT_TRUE(orv::BrowseForFolder(nullptr, title, QString()).isEmpty());
    // Accepted at once, the chooser gives the folder it was opened with.
    answer(true);
    EXPECT_EQ(orv::BrowseForFolder(nullptr, title, QString(), q(disc.path() / "UTIL")), q(disc.path() / "UTIL"));
    // A start folder that names a directory is the top of the tree.
    answer(true);
    EXPECT_EQ(orv::BrowseForFolder(nullptr, title, q(disc.path()), q(disc.path() / "UTIL" / "SS")),
              q(disc.path() / "UTIL" / "SS"));
    EXPECT_FALSE(fs::exists(config / "QtProject.conf"));
    EXPECT_FALSE(fs::exists(fs::path(std::getenv("HOME")) / ".config/QtProject.conf"));
}
