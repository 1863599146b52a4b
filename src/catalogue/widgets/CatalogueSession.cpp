#include "catalogue/widgets/CatalogueSession.h"

#include "catalogue/Schema.h"
#include "platform/engine/Engine.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"
#include "platform/widgets/dlgWait.h"

#include <QWidget>

namespace orv {

namespace {

QString errText(const DbError& e)
{
    return QStringLiteral("Err %1： %2").arg(e.number).arg(QString::fromStdString(e.description()));
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

CatalogueSession::CatalogueSession(QWidget* window, RecordsView& views) : window_(window), views_(views) {}

CatalogueSession::~CatalogueSession() = default;

void CatalogueSession::Open(const CatalogueSource& source, const std::string& path)
{
    tableName_ = std::string(schema::kTableName);
    asDbError([&] { db_ = OpenDatabase(source, path, false, true, ""); });
}

void CatalogueSession::ShowWait(const std::function<void()>& work)
{
    dlgWait dlg(window_, waitJob_, work);
    dlg.ShowModal();
}

void CatalogueSession::RunStatement(std::string statement, const std::function<void(Recordset&)>& use)
{
    // The title shows what runs, as long as it runs.
    emit titleChanged(QStringLiteral("\"%1\"").arg(QString::fromStdString(statement)));
    DataControl& data = views_.records();
    auto pass = [&] {
        asDbError([&] {
            if (!db_)
                throw DbError::objectInvalid();
            data.setRecordset(db_->OpenRecordset(statement));
            Recordset& rs = *data.recordset();
            if (rs.RecordCount() != 0) {
                rs.MoveLast(); // the count is exact from here on
                rs.MoveFirst();
            }
            use(rs);
            queryText_ = statement;
            views_.CatalogueRead();
            SetMousePointer(kDefaultPointer);
        });
    };
    try {
        pass();
    } catch (const DbError& e) {
        // "No current record" means a step went past the rows, not that the catalogue refused the
        // statement: the same statement runs again, unreported. Any other failure puts the last
        // statement that ran through in its place, so the user sees the previous list again.
        if (e.number != dberr::NoCurrentRecord) {
            data.setRecordset(nullptr);
            statement = queryText_;
            messageShown_ = true;
            MsgBox(window_, errText(e));
        }
        pass();
    }
}

void CatalogueSession::RunRecordQuery()
{
    SetMousePointer(kHourglassPointer);
    messageShown_ = false;
    views_.KeepColumnWidths();
    views_.records().setRecordset(nullptr);

    const std::string statement = "SELECT * FROM " + tableName_ + filterText_ + sortText_ + ";";
    RunStatement(statement, [this](Recordset& rs) { views_.ShowRecords(rs); });
}

void CatalogueSession::ShowQueryFailure(const DbError& e)
{
    SetMousePointer(kDefaultPointer);
    views_.records().setRecordset(nullptr);
    views_.ShowNoRecords();
    if (!messageShown_)
        MsgBox(window_, errText(e));
    emit titleChanged(kAppTitle);
}

} // namespace orv
