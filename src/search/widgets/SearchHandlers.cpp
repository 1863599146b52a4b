// The search panel of the main window: reading the conditions, searching and resetting.
#include "app/widgets/frmMain.h"
#include "platform/reader/DbTypes.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/Toolkit.h"
#include "search/FilterBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orv {

SearchConditions frmMain::ReadConditions() const
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
    c.cdFilter = cdFilter;
    return c;
}

void frmMain::Command1_Click()
{
    CommitComposition();
    module.filterText = BuildFilter(ReadConditions());
    try {
        ShowWait();
    } catch (const DbError& e) {
        ShowQueryFailure(e);
    }
}

void frmMain::Command5_Click()
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
    SetCombo2Text(QStringLiteral("ALL"));
}

} // namespace orv
