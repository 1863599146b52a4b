// The drive button's folder chooser: the discs first, Japanese texts only, folders only, and no
// settings file of the toolkit's.
#include "platform/widgets/FolderChooser.h"
#include "platform/widgets/Toolkit.h"
#include "support/TestSupport.h"
#include "widgets/WidgetHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
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

TEST_F(Chooser, OpensAtTheTopWithTheDiscsFirstInJapanese)
{
    FolderChooser c(nullptr, title, places);
    EXPECT_EQ(c.windowTitle(), title);
    ASSERT_EQ(placesOf(c)->count(), 3);
    EXPECT_EQ(placesOf(c)->item(0)->text(), QStringLiteral("お楽しみCD 11"));
    EXPECT_EQ(placesOf(c)->item(0)->toolTip(), q(disc.path()));
    EXPECT_EQ(placesOf(c)->item(2)->text(), QStringLiteral("ルート"));
    // At the top: the first place, nothing below it chosen.
    EXPECT_EQ(placesOf(c)->currentRow(), 0);
    EXPECT_EQ(c.chosenFolder(), q(disc.path()));
    EXPECT_EQ(c.findChild<QLineEdit*>(QStringLiteral("chosen"))->text(), q(disc.path()));

    const QStringList texts = visibleTexts(c);
    EXPECT_TRUE(texts.contains(QStringLiteral("名前")));
    EXPECT_TRUE(texts.contains(QStringLiteral("更新日時")));
    EXPECT_TRUE(texts.contains(QStringLiteral("キャンセル")));
    for (const QString& t : texts)
        EXPECT_FALSE(t.contains(QRegularExpression(QStringLiteral("Folder|Drive|Name|Date|Type|Size|Cancel"))))
            << t.toStdString();
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
    // Accepted at once, the chooser gives the first place of this system (the root at least).
    answer(true);
    const QString chosen = orv::BrowseForFolder(nullptr, title, QString());
    EXPECT_EQ(chosen, q(FolderChooser::systemPlaces().front().path));
    // A start folder that names a directory is the top of the tree.
    answer(true);
    EXPECT_EQ(orv::BrowseForFolder(nullptr, title, q(disc.path())), q(disc.path()));
    EXPECT_FALSE(fs::exists(config / "QtProject.conf"));
    EXPECT_FALSE(fs::exists(fs::path(std::getenv("HOME")) / ".config/QtProject.conf"));
}
