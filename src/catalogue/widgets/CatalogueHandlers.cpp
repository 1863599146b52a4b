// The catalogue's routines of the main window: opening, the wait jobs, the record query, the
// CD volume and platform lists, and the column sort.
#include "app/widgets/frmMain.h"
#include "catalogue/Lists.h"
#include "catalogue/Schema.h"
#include "catalogue/widgets/dlgWait.h"
#include "platform/engine/Engine.h"
#include "platform/settings/NumberText.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace orv {

namespace {

QString errText(const DbError& e)
{
    return QStringLiteral("Err %1： %2").arg(e.number).arg(QString::fromStdString(e.description()));
}

// CStr of a field: Null cannot be turned into text.
std::string fieldText(const Recordset& rs, const char* field)
{
    const Value v = rs.Fields(field);
    if (v.isNull())
        throw DbError::invalidUseOfNull();
    return v.toText();
}

long fieldLong(const Recordset& rs, const char* field)
{
    const Value v = rs.Fields(field);
    if (v.isInteger())
        return static_cast<long>(std::get<std::int64_t>(v.v));
    if (v.isReal())
        return static_cast<long>(std::get<double>(v.v));
    return 0;
}

// Turns any failure into the DbError the routines report.
template <class F> void asDbError(F&& f)
{
    try {
        f();
    } catch (const DbError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw DbError::outOfMemory();
    } catch (const std::exception& e) {
        throw DbError::unexpected(e.what());
    }
}

} // namespace

// --- Opening the catalogue --------------------------------------------------------------------------

void frmMain::SetCombo2Text(const QString& text)
{
    const int i = Combo2->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i >= 0)
        Combo2->setCurrentIndex(i);
    Combo2_Click();
}

void frmMain::Combo2_Click()
{
    if (suppressVolumeClick)
        return;
    const std::string key(schema::kOpenCatalogueKey);
    if (key != openCatalogueKey) {
        openCatalogueKey = key;
        // Found by start-up, in any letter case (Form_Load).
        const std::string& path = cataloguePath;
        module.tableName = std::string(schema::kTableName);
        // A read stopped because the program is closing needs no message: the close follows.
        auto openFailed = [this](bool stopped) {
            SetMousePointer(0);
            catalogueOpenFailed = true;
            if (activated && !ended_) {
                if (!stopped)
                    MsgBox(this, QStringLiteral("データベースファイルが開けません。\r\nプログラムを終了します。"));
                close();
            }
        };
        try {
            asDbError([&] {
                if (!env_.catalogue)
                    throw DbError::noCatalogueReader();
                module.catalogueDb = OpenDatabase(*env_.catalogue, path, false, true, "");
            });
            const std::string savedFilter = module.filterText;
            module.filterText.clear();
            ShowWait();
            recordTotal = Data1->recordset() ? Data1->recordset()->RecordCount() : 0;
            Label5->setText(QStringLiteral("全ﾚｺｰﾄﾞ数：%1").arg(recordTotal));
            module.filterText = savedFilter;
            ShowWait();
        } catch (const DbError& e) {
            openFailed(e.number == dberr::ReadStopped);
        } catch (const std::bad_alloc&) {
            openFailed(false); // the lists outside the wait job's routines
        }
        return;
    }
    cdFilter = CdFilterFromSelector(Combo2->currentText().toStdString());
}

// --- Wait jobs ------------------------------------------------------------------------------------------

void frmMain::ShowWait()
{
    dlgWait dlg(this, module.waitJob, [this] { RunWaitJob(); });
    dlg.ShowModal();
}

void frmMain::RunWaitJob()
{
    if (module.listsPending) {
        module.listsPending = 0;
        FillVolumeList();
        List1->clear();
        FillPlatformList();
    }
    RunRecordQuery();
}

// --- Record query ------------------------------------------------------------------------------------------

// Runs a catalogue statement into Data1 as every list routine does: a failure other than "no
// current record" is reported once and the last statement that ran through runs instead; a failure
// of that retry reaches the caller.
void frmMain::RunStatement(std::string statement, const std::function<void(Recordset&)>& use)
{
    auto pass = [&] {
        asDbError([&] {
            if (!module.catalogueDb)
                throw DbError::objectInvalid();
            Data1->setRecordset(module.catalogueDb->OpenRecordset(statement));
            Recordset& rs = *Data1->recordset();
            if (rs.RecordCount() != 0) {
                rs.MoveLast(); // the count is exact from here on
                rs.MoveFirst();
            }
            use(rs);
            module.queryText = statement;
            Frame10->hide();
            SetMousePointer(0);
        });
    };
    try {
        pass();
    } catch (const DbError& e) {
        if (e.number != dberr::NoCurrentRecord) {
            Data1->setRecordset(nullptr);
            statement = module.queryText;
            queryMessageShown_ = true;
            MsgBox(this, errText(e));
        }
        pass();
    }
}

void frmMain::RunRecordQuery()
{
    SetMousePointer(11);
    queryMessageShown_ = false;
    if (widthsCaptured) {
        for (int i = 0; i <= 10 && i < DBGrid1->columnCount(); ++i)
            module.columnWidths[static_cast<size_t>(i)] = RoundHalfEven(DBGrid1->columnWidth(i));
    } else {
        widthsCaptured = true;
    }
    Data1->setRecordset(nullptr);

    const std::string statement = "SELECT * FROM " + module.tableName + module.filterText + module.sortText + ";";
    SetCaption(QStringLiteral("\"%1\"").arg(QString::fromStdString(statement)));
    RunStatement(statement, [this](Recordset& rs) {
        if (rs.RecordCount() != 0) {
            Data1->notifyMoved();
            QWidget* controls[] = {txtNew,     txtSS,  txtGame,      txtMaker,  txtEffect, txtFile,
                                   txtWindows, txtF_S, txtCopyright, lblFolder, txtNo,     txtCDDate};
            for (size_t i = 0; i < schema::kCardBindings.size(); ++i) {
                const auto& f = schema::kCardBindings[i].field;
                Data1->setDataField(controls[i], QString::fromUtf8(f.data(), static_cast<int>(f.size())));
            }
        }
        // The grid shows one column per field; the list shows the first eleven.
        for (int i = 0; i < schema::kListColumns; ++i) {
            if (i >= DBGrid1->columnCount())
                throw DbError::invalidColumnIndex();
            const auto& c = schema::kListCaptions[static_cast<size_t>(i)];
            DBGrid1->setColumnCaption(i, QString::fromUtf8(c.data(), static_cast<int>(c.size())));
        }
        for (int i : {14, 13, 12, 11}) {
            if (i >= DBGrid1->columnCount())
                throw DbError::invalidColumnIndex();
            DBGrid1->removeColumn(i);
        }
        for (int i = 0; i <= 10; ++i)
            DBGrid1->setColumnWidth(i, static_cast<float>(module.columnWidths[static_cast<size_t>(i)]));
    });
}

void frmMain::FillVolumeList()
{
    Data1->setRecordset(nullptr);
    const std::string statement = schema::volumeListStatement(module.tableName);
    SetCaption(QStringLiteral("\"%1\"").arg(QString::fromStdString(statement)));
    RunStatement(statement, [this](Recordset& rs) {
        const long n = rs.RecordCount();
        for (long r = 1; r <= n; ++r) {
            Combo2->addItem(QString::fromStdString(VolumeItemText(fieldText(rs, "gt_cdno"))));
            Combo2->setItemData(Combo2->count() - 1, static_cast<qlonglong>(fieldLong(rs, "cnt")));
            rs.MoveNext();
        }
    });
}

void frmMain::FillPlatformList()
{
    Data1->setRecordset(nullptr);
    const std::string statement = schema::platformListStatement(module.tableName);
    SetCaption(QStringLiteral("\"%1\"").arg(QString::fromStdString(statement)));
    RunStatement(statement, [this](Recordset& rs) {
        const long n = rs.RecordCount();
        const std::vector<std::string> names = SplitByDelimiter(module.platformSelection, ",");
        for (long r = 1; r <= n; ++r) {
            const std::string pf = fieldText(rs, "gt_pf");
            auto* item = new QListWidgetItem(QString::fromStdString(pf), List1);
            // Blank on the screen, as the catalogue has it; a screen reader says something.
            if (item->text().trimmed().isEmpty())
                item->setData(Qt::AccessibleTextRole, QStringLiteral("（なし）"));
            item->setData(Qt::UserRole, static_cast<qlonglong>(fieldLong(rs, "cnt")));
            if (PlatformPreselected(pf, names))
                item->setSelected(true);
            rs.MoveNext();
        }
        List1->scrollToTop();
    });
}

// --- Column sort ---------------------------------------------------------------------------------------------

void frmMain::DBGrid1_HeadClick(int colIndex)
{
    if (colIndex < 0 || colIndex >= static_cast<int>(sortDescending.size()))
        return;
    module.sortText.clear();
    if (colIndex <= 10)
        module.sortText = std::string(schema::kSortTexts[static_cast<size_t>(colIndex)]);
    if (sortDescending[static_cast<size_t>(colIndex)]) {
        sortDescending[static_cast<size_t>(colIndex)] = false;
        module.sortText += " DESC";
    } else {
        sortDescending[static_cast<size_t>(colIndex)] = true;
    }
    module.waitJob = 2;
    try {
        ShowWait();
    } catch (const DbError& e) {
        ShowQueryFailure(e);
    }
    module.waitJob = 1;
}

// Where the retry with the last good statement fails too: the list is emptied but keeps its
// captions, and the program goes on.
void frmMain::ShowQueryFailure(const DbError& e)
{
    SetMousePointer(0);
    Data1->setRecordset(nullptr);
    QStringList captions;
    for (const auto& c : schema::kListCaptions)
        captions << QString::fromUtf8(c.data(), static_cast<int>(c.size()));
    DBGrid1->showEmpty(captions);
    for (int i = 0; i <= 10; ++i)
        DBGrid1->setColumnWidth(i, static_cast<float>(module.columnWidths[static_cast<size_t>(i)]));
    if (!queryMessageShown_)
        MsgBox(this, errText(e));
    SetCaption(kAppTitle);
}

} // namespace orv
