#include "search/widgets/SearchPanel.h"

#include "platform/widgets/Controls.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace orv {

SearchPanel::SearchPanel(QObject* parent) : QObject(parent) {}

void SearchPanel::Build(QWidget* band)
{
    Frame7 = MakeControl<Frame>(band, "Frame7", 90, 390, 2925, 525, QStringLiteral("新作(&W)"));
    Frame7->setToolTip(QStringLiteral("新作の検索条件指定"));
    const double newLeft[] = {120, 840, 1470}, newWidth[] = {855, 735, 855};
    const QString newCaption[] = {QStringLiteral("ALL"), QStringLiteral("♪"), QStringLiteral("♪以外")};
    for (int i = 0; i < 3; ++i) {
        optNew[i] = MakeControl<QRadioButton>(Frame7, "optNew", newLeft[i], 210, newWidth[i], 255, newCaption[i]);
        optNew[i]->setObjectName(IndexedName("optNew", i));
    }
    optNew[0]->setChecked(true);

    Frame6 = MakeControl<Frame>(band, "Frame6", 120, 960, 2865, 795, QStringLiteral("ｹﾞｰﾑのﾌﾟﾗｯﾄﾌｫｰﾑ(&P)"));
    // Two whole rows in the list's design height, whatever the font.
    List1 = new ListBox(2, Frame6->inside());
    List1->setObjectName(QStringLiteral("List1"));
    PlaceTwips(List1, 180, 270, 2415, 420);
    List1->setSelectionMode(QAbstractItemView::MultiSelection);

    Frame2 = MakeControl<Frame>(band, "Frame2", 3180, 330, 6255, 885, QStringLiteral("検索語(&N)"));
    txtStrGame[0] = MakeControl<QLineEdit>(Frame2, "txtStrGame_0", 90, 240, 5175, 270);
    CentreTextLine(txtStrGame[0]);
    optGame[0] = MakeControl<QRadioButton>(Frame2, "optGame_0", 5400, 240, 795, 255, QStringLiteral("AND"));
    optGame[1] = MakeControl<QRadioButton>(Frame2, "optGame_1", 5400, 480, 615, 255, QStringLiteral("OR"));
    optGame[0]->setChecked(true);
    const double f1Left[] = {120, 1080, 2100, 3000}, f1Width[] = {855, 975, 855, 975};
    const double f2Left[] = {150, 1080, 2100, 3000}, f2Width[] = {855, 945, 825, 1065};
    const QString fieldCaption[] = {QStringLiteral("ゲーム"), QStringLiteral("メーカー"), QStringLiteral("効果"),
                                    QStringLiteral("ファイル")};
    for (int i = 0; i < 4; ++i) {
        chkFind1[i] = MakeControl<QCheckBox>(Frame2, "chkFind1", f1Left[i], 570, f1Width[i], 255, fieldCaption[i]);
        chkFind1[i]->setObjectName(IndexedName("chkFind1", i));
        chkFind1[i]->setChecked(true);
    }

    Frame3 = MakeControl<Frame>(band, "Frame3", 3150, 1320, 6255, 855, QStringLiteral("否定語(&M)"));
    txtStrMaker[0] = MakeControl<QLineEdit>(Frame3, "txtStrMaker_0", 120, 240, 5175, 270);
    CentreTextLine(txtStrMaker[0]);
    optMaker[0] = MakeControl<QRadioButton>(Frame3, "optMaker_0", 5490, 210, 735, 255, QStringLiteral("AND"));
    optMaker[1] = MakeControl<QRadioButton>(Frame3, "optMaker_1", 5490, 480, 735, 255, QStringLiteral("OR"));
    optMaker[0]->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        chkFind2[i] = MakeControl<QCheckBox>(Frame3, "chkFind2", f2Left[i], 540, f2Width[i], 255, fieldCaption[i]);
        chkFind2[i]->setObjectName(IndexedName("chkFind2", i));
        chkFind2[i]->setChecked(true);
    }

    // The enable checks sit on their frames' top edges, beside the captions.
    Check1[0] = MakeControl<QCheckBox>(Frame3, "Check1_0", 1080, -30, 765, 255, QStringLiteral("有効"));
    Check1[1] = MakeControl<QCheckBox>(Frame2, "Check1_1", 1080, -30, 765, 255, QStringLiteral("有効"));
    Check1[2] = MakeControl<QCheckBox>(Frame6, "Check1_2", 1950, -30, 765, 255, QStringLiteral("有効"));
    for (auto* c : Check1) {
        c->setChecked(true);
        c->setAutoFillBackground(true);
    }

    Command5 = MakeControl<QPushButton>(band, "Command5", 120, 1800, 1695, 375, QStringLiteral("検索条件初期化(&I)"));
    Command5->setToolTip(QStringLiteral("検索条件の初期化"));
    Command1 = MakeControl<QPushButton>(band, "Command1", 1920, 1800, 975, 375, QStringLiteral("検索(&G)"));
    Command1->setToolTip(QStringLiteral("検索開始"));
    for (auto* b : {Command5, Command1})
        b->setAutoDefault(true); // Enter on a focused button presses it
    for (Frame* f : {Frame7, Frame6, Frame2, Frame3}) {
        for (QAbstractButton* b : f->findChildren<QAbstractButton*>()) {
            b->setStyle(DesignButtonStyle::instance());
            FitCaption(b);
        }
    }
    connect(Command1, &QPushButton::clicked, this, &SearchPanel::Command1_Click);
    connect(Command5, &QPushButton::clicked, this, &SearchPanel::Command5_Click);

    // A captioned frame stands in the tab order before its text box, list or buttons (after the
    // enable check on its edge): its access key goes there, not to the control of the frame
    // focused last.
    Frame7->setNextInTabOrder(optNew[0]);
    Frame6->setNextInTabOrder(List1);
    Frame2->setNextInTabOrder(txtStrGame[0]);
    Frame3->setNextInTabOrder(txtStrMaker[0]);
    NameControls();
}

// The new mark, the platforms, the keywords and the negative words, each frame's enable check
// first; then reset and search.
QWidgetList SearchPanel::focusOrder() const
{
    QWidgetList order{optNew[0], optNew[1],     optNew[2],  Check1[2], List1,
                      Check1[1], txtStrGame[0], optGame[0], optGame[1]};
    for (QCheckBox* c : chkFind1)
        order.append(c);
    order.append({Check1[0], txtStrMaker[0], optMaker[0], optMaker[1]});
    for (QCheckBox* c : chkFind2)
        order.append(c);
    order.append({Command5, Command1});
    return order;
}

void SearchPanel::NameControls()
{
    auto name = [](QWidget* w, const QString& n, const QString& description) {
        w->setAccessibleName(n);
        w->setAccessibleDescription(description);
    };
    optNew[0]->setAccessibleDescription(QStringLiteral("新作かどうかを問わない"));
    optNew[1]->setAccessibleDescription(QStringLiteral("新作（♪）だけ"));
    optNew[2]->setAccessibleDescription(QStringLiteral("新作（♪）以外"));

    Check1[2]->setAccessibleDescription(QStringLiteral("プラットフォームで絞り込む"));
    name(List1, QStringLiteral("ゲームのプラットフォーム"),
         QStringLiteral("選んだプラットフォームの項目を探す（複数選択）"));

    Check1[1]->setAccessibleDescription(QStringLiteral("検索語で絞り込む"));
    name(txtStrGame[0], QStringLiteral("検索語"), QStringLiteral("探す語、空白で区切って複数"));
    optGame[0]->setAccessibleDescription(QStringLiteral("すべての語を含む項目"));
    optGame[1]->setAccessibleDescription(QStringLiteral("どれかの語を含む項目"));
    const QString fields[] = {QStringLiteral("ゲーム名"), QStringLiteral("メーカー名"), QStringLiteral("効果"),
                              QStringLiteral("ファイル名")};
    for (int i = 0; i < 4; ++i) {
        chkFind1[i]->setAccessibleDescription(fields[i] + QStringLiteral("から探す"));
        chkFind2[i]->setAccessibleDescription(fields[i] + QStringLiteral("で除く"));
    }

    Check1[0]->setAccessibleDescription(QStringLiteral("否定語で除く"));
    name(txtStrMaker[0], QStringLiteral("否定語"), QStringLiteral("除く語、空白で区切って複数"));
    optMaker[0]->setAccessibleDescription(QStringLiteral("どれかの語を含む項目を除く"));
    optMaker[1]->setAccessibleDescription(QStringLiteral("すべての語を含む項目だけを除く"));
}

SearchConditions SearchPanel::ReadConditions() const
{
    SearchConditions c;
    c.newMark = optNew[1]->isChecked() ? 1 : (optNew[2]->isChecked() ? 2 : 0);
    c.platformCheck = checkValue(Check1[2]);
    for (int i = 0; i < List1->count(); ++i)
        if (List1->item(i)->isSelected())
            c.selectedPlatforms.push_back(List1->item(i)->text().toStdString());
    c.keywordCheck = checkValue(Check1[1]);
    for (int i = 0; i < 4; ++i) {
        c.keywordFields[static_cast<size_t>(i)] = checkValue(chkFind1[i]);
        c.negativeFields[static_cast<size_t>(i)] = checkValue(chkFind2[i]);
    }
    c.keywordText = txtStrGame[0]->text().toStdString();
    c.keywordAnd = optGame[0]->isChecked();
    c.negativeCheck = checkValue(Check1[0]);
    c.negativeText = txtStrMaker[0]->text().toStdString();
    c.negativeAnd = optMaker[0]->isChecked();
    return c;
}

void SearchPanel::RestoreConditions(const SearchConditions& c)
{
    optNew[static_cast<std::size_t>(c.newMark)]->setChecked(true);
    setCheckValue(Check1[2], c.platformCheck);
    platformSelection_ = c.selectedPlatforms;
    setCheckValue(Check1[1], c.keywordCheck);
    for (int i = 0; i < 4; ++i)
        setCheckValue(chkFind1[i], c.keywordFields[static_cast<std::size_t>(i)]);
    txtStrGame[0]->setText(QString::fromStdString(c.keywordText));
    optGame[c.keywordAnd ? 0 : 1]->setChecked(true);
    setCheckValue(Check1[0], c.negativeCheck);
    for (int i = 0; i < 4; ++i)
        setCheckValue(chkFind2[i], c.negativeFields[static_cast<std::size_t>(i)]);
    txtStrMaker[0]->setText(QString::fromStdString(c.negativeText));
}

bool SearchPanel::platformsOffered() const { return List1->count() > 0; }

void SearchPanel::FocusKeywords() { txtStrGame[0]->setFocus(); }

void SearchPanel::Command1_Click()
{
    CommitComposition();
    emit searchRequested(ReadConditions());
}

void SearchPanel::Command5_Click()
{
    // A word still being converted would otherwise come back after the boxes are emptied.
    CommitComposition();
    optNew[0]->setChecked(true);
    for (int i = 0; i < List1->count(); ++i)
        List1->item(i)->setSelected(true);
    optGame[0]->setChecked(true);
    optMaker[0]->setChecked(true);
    txtStrGame[0]->clear();
    txtStrMaker[0]->clear();
    for (int i = 0; i < 4; ++i) {
        chkFind1[i]->setCheckState(Qt::Checked);
        chkFind2[i]->setCheckState(Qt::Checked);
    }
    for (auto* c : Check1)
        c->setCheckState(Qt::Checked);
    emit conditionsReset();
}

// --- The platform list, filled by the catalogue ------------------------------------------------------

void SearchPanel::ClearPlatforms() { List1->clear(); }

void SearchPanel::AddPlatform(const std::string& name, long count)
{
    auto* item = new QListWidgetItem(QString::fromStdString(name), List1);
    // Blank on the screen, as the catalogue has it; a screen reader says something.
    if (item->text().trimmed().isEmpty())
        item->setData(Qt::AccessibleTextRole, QStringLiteral("（なし）"));
    item->setData(Qt::UserRole, static_cast<qlonglong>(count));
    if (PlatformPreselected(name, platformSelection_))
        item->setSelected(true);
}

void SearchPanel::PlatformsAdded() { List1->scrollToTop(); }

} // namespace orv
