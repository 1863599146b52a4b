// What assistive technology (a screen reader) says for the main window's controls: a name for
// every control that takes the focus, unique beside its neighbours of the same kind, and a
// description where the caption alone leaves the purpose open. Names are never drawn; the
// captions on the screen stay as they are.
#include "app/widgets/frmMain.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace orv {

namespace {
void describe(QWidget* w, const QString& description) { w->setAccessibleDescription(description); }
void name(QWidget* w, const QString& name, const QString& description = {})
{
    w->setAccessibleName(name);
    if (!description.isEmpty())
        describe(w, description);
}
} // namespace

void frmMain::NameControls()
{
    describe(optNew[0], QStringLiteral("新作かどうかを問わない"));
    describe(optNew[1], QStringLiteral("新作（♪）だけ"));
    describe(optNew[2], QStringLiteral("新作（♪）以外"));

    describe(Check1[2], QStringLiteral("プラットフォームで絞り込む"));
    name(List1, QStringLiteral("ゲームのプラットフォーム"),
         QStringLiteral("選んだプラットフォームの項目を探す（複数選択）"));

    describe(Check1[1], QStringLiteral("検索語で絞り込む"));
    name(txtStrGame[0], QStringLiteral("検索語"), QStringLiteral("探す語、空白で区切って複数"));
    describe(optGame[0], QStringLiteral("すべての語を含む項目"));
    describe(optGame[1], QStringLiteral("どれかの語を含む項目"));
    const QString fields[] = {QStringLiteral("ゲーム名"), QStringLiteral("メーカー名"), QStringLiteral("効果"),
                              QStringLiteral("ファイル名")};
    for (int i = 0; i < 4; ++i) {
        describe(chkFind1[i], fields[i] + QStringLiteral("から探す"));
        describe(chkFind2[i], fields[i] + QStringLiteral("で除く"));
    }

    describe(Check1[0], QStringLiteral("否定語で除く"));
    name(txtStrMaker[0], QStringLiteral("否定語"), QStringLiteral("除く語、空白で区切って複数"));
    describe(optMaker[0], QStringLiteral("どれかの語を含む項目を除く"));
    describe(optMaker[1], QStringLiteral("すべての語を含む項目だけを除く"));

    const QString steps[] = {{},
                             QStringLiteral("先頭のレコード"),
                             QStringLiteral("前のレコード"),
                             QStringLiteral("次のレコード"),
                             QStringLiteral("最後のレコード")};
    for (int i = 1; i <= 4; ++i)
        name(btnRecord[i], steps[i]);

    // A combo box is named by its value on this platform; the label it is the buddy of says what
    // it is for.
    Label8->setAccessibleName(QStringLiteral("収録CD"));
    describe(Combo2, QStringLiteral("表示する収録CD"));

    name(DBGrid1, QStringLiteral("一覧"), QStringLiteral("検索結果、列見出しで並べ替え"));

    // The card's boxes are named by their captions.
    const std::pair<const char*, QWidget*> card[] = {
        {"新作", txtNew},       {"プラットホーム", txtSS}, {"動作OS", txtWindows}, {"F/S", txtF_S},
        {"ゲーム名", txtGame},  {"メーカー名", txtMaker},  {"効果", txtEffect},    {"ファイル名", txtFile},
        {"著作", txtCopyright}, {"収録CD", txtNo},         {"CD発売日", txtCDDate}};
    for (QLabel* l : Frame5->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        for (const auto& [caption, box] : card)
            if (l->text() == QString::fromUtf8(caption))
                l->setBuddy(box);
}

} // namespace orv
