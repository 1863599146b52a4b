// What assistive technology learns of the main window: every control that takes the focus has a
// name that tells it from its neighbours, says what it is for, and claims no access key of its
// frame's.
#include "platform/widgets/Controls.h"
#include "widgets/WidgetHarness.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <gtest/gtest.h>

#include <map>
#include <utility>

using namespace orvtest;

namespace {

class Access : public StartedWindow {
protected:
    QList<QWidget*> focusable()
    {
        QList<QWidget*> r;
        for (QWidget* c : w().findChildren<QWidget*>())
            if ((c->focusPolicy() & Qt::TabFocus) && c->isVisibleTo(&w()))
                r << c;
        return r;
    }
    static QAccessibleInterface* a11y(QObject* o) { return QAccessible::queryAccessibleInterface(o); }
    static QString nameOf(QObject* o) { return a11y(o)->text(QAccessible::Name); }
    // The names of the labels that label the control.
    static QStringList labelsOf(QObject* o)
    {
        QStringList r;
        for (const auto& [label, relation] : a11y(o)->relations(QAccessible::Label))
            r << label->text(QAccessible::Name);
        return r;
    }

    // Every focusable control: a name, different from those of its neighbours of the same role.
    void expectNamedAndTellable(const char* view)
    {
        SCOPED_TRACE(view);
        const QList<QWidget*> controls = focusable();
        ASSERT_GE(controls.size(), 34);
        std::map<std::pair<QAccessibleInterface*, int>, QStringList> names; // by parent and role
        for (QWidget* c : controls) {
            QAccessibleInterface* i = a11y(c);
            ASSERT_NE(i, nullptr) << c->objectName().toStdString();
            const QString name = i->text(QAccessible::Name);
            EXPECT_FALSE(name.trimmed().isEmpty()) << c->objectName().toStdString() << " has no name";
            names[{i->parent(), static_cast<int>(i->role())}] << name;
        }
        for (const auto& [key, list] : names)
            for (const QString& n : list)
                EXPECT_EQ(list.count(n), 1) << "two " << key.second << " share the name " << n.toStdString();
    }
};

} // namespace

TEST_F(Access, EveryFocusableControlHasANameItsNeighboursDoNotShare)
{
    QAccessible::setActive(true);
    expectNamedAndTellable("list view");
    ctl<QPushButton>(w(), "btnMode")->click();
    expectNamedAndTellable("card view");
    QAccessible::setActive(false);
}

TEST_F(Access, NamesSayWhatTheControlIsFor)
{
    EXPECT_EQ(nameOf(ctl<QWidget>(w(), "DBGrid1")), QStringLiteral("一覧"));
    EXPECT_EQ(nameOf(ctl<QWidget>(w(), "List1")), QStringLiteral("ゲームのプラットフォーム"));
    EXPECT_EQ(nameOf(ctl<QWidget>(w(), "txtStrGame_0")), QStringLiteral("検索語"));
    EXPECT_EQ(nameOf(ctl<QWidget>(w(), "txtStrMaker_0")), QStringLiteral("否定語"));
    const QStringList steps = {QStringLiteral("先頭のレコード"), QStringLiteral("前のレコード"),
                               QStringLiteral("次のレコード"), QStringLiteral("最後のレコード")};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(nameOf(ctl<QPushButton>(w(), "btnRecord", i)), steps[i - 1]);
    // Here a combo box's name is its value; its label says what it chooses.
    EXPECT_EQ(labelsOf(ctl<QComboBox>(w(), "Combo2")), QStringList{QStringLiteral("収録CD")});
    EXPECT_EQ(ctl<QLabel>(w(), "Label8")->text(), QStringLiteral("(&S)")) << "the caption stays as drawn";
    // The enable boxes of the three frames share a caption; their descriptions differ.
    QStringList descriptions;
    for (int i = 0; i < 3; ++i)
        descriptions << a11y(ctl<QCheckBox>(w(), "Check1", i))->text(QAccessible::Description);
    descriptions.removeDuplicates();
    EXPECT_EQ(descriptions.size(), 3) << descriptions.join(QLatin1Char('|')).toStdString();

    // The card's boxes are named by their captions.
    ctl<QPushButton>(w(), "btnMode")->click();
    const std::pair<const char*, const char*> card[] = {
        {"txtNew", "新作"},       {"txtSS", "プラットホーム"}, {"txtWindows", "動作OS"}, {"txtF_S", "F/S"},
        {"txtGame", "ゲーム名"},  {"txtMaker", "メーカー名"},  {"txtEffect", "効果"},    {"txtFile", "ファイル名"},
        {"txtCopyright", "著作"}, {"txtNo", "収録CD"},         {"txtCDDate", "CD発売日"}};
    for (const auto& [box, caption] : card)
        EXPECT_EQ(nameOf(ctl<QWidget>(w(), QString::fromLatin1(box))), QString::fromUtf8(caption)) << box;
}

TEST_F(Access, TheBlankPlatformIsSpokenAndStaysBlank)
{
    orv::ListBox* list = ctl<orv::ListBox>(w(), "List1");
    ASSERT_EQ(list->item(0)->text(), QString()) << "the fixture has entries without a platform";
    QAccessibleInterface* l = a11y(list);
    QAccessibleInterface* blank = nullptr;
    for (int i = 0; i < l->childCount() && !blank; ++i)
        if (l->child(i)->role() == QAccessible::ListItem)
            blank = l->child(i);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->text(QAccessible::Name), QStringLiteral("（なし）"));
    EXPECT_EQ(a11y(ctl<orv::ListBox>(w(), "List1"))->child(1)->text(QAccessible::Name), list->item(1)->text());
}

TEST_F(Access, ControlsInsideAFrameDoNotClaimItsAccessKey)
{
    int inside = 0;
    for (const char* name : {"Frame7", "Frame6", "Frame2", "Frame3", "Frame4"}) {
        orv::Frame* f = ctl<orv::Frame>(w(), QString::fromLatin1(name));
        const QString frameKey = QKeySequence::mnemonic(f->title()).toString();
        ASSERT_FALSE(frameKey.isEmpty()) << name;
        for (QWidget* c : f->findChildren<QWidget*>()) {
            if (!(c->focusPolicy() & Qt::TabFocus))
                continue;
            ++inside;
            QAccessibleInterface* i = a11y(c);
            EXPECT_NE(i->text(QAccessible::Accelerator), frameKey) << c->objectName().toStdString();
            if (QAccessibleActionInterface* actions = i->actionInterface()) {
                for (const QString& action : actions->actionNames()) {
                    EXPECT_FALSE(actions->keyBindingsForAction(action).contains(frameKey))
                        << c->objectName().toStdString() << " " << action.toStdString();
                }
            }
        }
    }
    EXPECT_GE(inside, 24);
    // The controls with access keys of their own keep them.
    EXPECT_EQ(a11y(ctl<QPushButton>(w(), "Command1"))->text(QAccessible::Accelerator),
              QKeySequence::mnemonic(QStringLiteral("検索(&G)")).toString());
}
