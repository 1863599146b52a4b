#include "catalogue/widgets/CataloguePanel.h"

#include "catalogue/Lists.h"
#include "catalogue/Schema.h"
#include "platform/engine/Engine.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/dlgWait.h"
#include "search/FilterBuilder.h"
#include "search/PlatformList.h"

#include <QComboBox>
#include <QLabel>

namespace orv {

namespace {

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

} // namespace

CataloguePanel::CataloguePanel(QWidget* window, std::shared_ptr<const CatalogueSource> source, RecordsView& views,
                               PlatformList& platforms)
    : QObject(window), window_(window), source_(std::move(source)), views_(views), platforms_(platforms),
      session_(window, views)
{}

CataloguePanel::~CataloguePanel() = default;

void CataloguePanel::Build(QWidget* band)
{
    Label5 = MakeControl<FittingLabel>(band, "Label5", 2640, 2520, 1575, 255);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label8 = MakeControl<QLabel>(band, "Label8", 4500, 2370, 315, 285, QStringLiteral("(&S)"));
    Combo2 = MakeControl<QComboBox>(band, "Combo2", 4770, 2310, 975, 300);
    Combo2->setEditable(false);
    Label8->setBuddy(Combo2);
    connect(Combo2, &QComboBox::activated, this, [this](int) { Combo2_Click(); });
    // Nothing is open yet: only ALL, and nothing chosen.
    Combo2->addItem(QStringLiteral("ALL"));
    Combo2->setCurrentIndex(-1);

    // A combo box is named by its value on this platform; the label it is the buddy of says what
    // it is for.
    Label8->setAccessibleName(QStringLiteral("収録CD"));
    Combo2->setAccessibleDescription(QStringLiteral("表示する収録CD"));
}

QWidgetList CataloguePanel::focusOrder() const { return {Combo2}; }

void CataloguePanel::KeepTotalClearOf(int x) { Label5->setKeptClear(x - Label5->x()); }

// --- Opening the catalogue --------------------------------------------------------------------------

void CataloguePanel::SetCombo2Text(const QString& text)
{
    const int i = Combo2->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i >= 0)
        Combo2->setCurrentIndex(i);
    Combo2_Click();
}

void CataloguePanel::Combo2_Click()
{
    if (state_ == CatalogueState::Unread) {
        state_ = CatalogueState::Reading;
        auto failed = [this](bool stopped) {
            SetMousePointer(kDefaultPointer);
            state_ = CatalogueState::Failed;
            emit catalogueFailed(stopped);
        };
        try {
            if (!source_)
                throw DbError::noCatalogueReader();
            session_.Open(*source_, cataloguePath_);
            // Two runs of the wait: the first fills the lists and counts the whole catalogue, with
            // no filter, for the record total; the second shows the list under the filter in
            // force (none at start-up, when both show the same list).
            const std::string savedFilter = session_.filterText();
            session_.setFilterText({});
            ShowWait();
            const Recordset* rs = views_.records().recordset();
            recordTotal_ = rs ? rs->RecordCount() : 0;
            Label5->setText(QStringLiteral("全ﾚｺｰﾄﾞ数：%1").arg(recordTotal_));
            session_.setFilterText(savedFilter);
            ShowWait();
            state_ = CatalogueState::Read;
        } catch (const DbError& e) {
            // A read stopped because the program is closing needs no message: the close follows.
            failed(e.number == dberr::ReadStopped);
        } catch (const std::bad_alloc&) {
            failed(false); // the lists outside the wait job's routines
        }
        return;
    }
    cdFilter_ = CdFilterFromSelector(Combo2->currentText().toStdString());
}

// --- Search and sort ----------------------------------------------------------------------------------

void CataloguePanel::Search(SearchConditions c)
{
    c.cdFilter = cdFilter_;
    session_.setFilterText(BuildFilter(c));
    try {
        ShowWait();
    } catch (const DbError& e) {
        session_.ShowQueryFailure(e);
    }
}

void CataloguePanel::Sort(std::string sortText)
{
    session_.setSortText(std::move(sortText));
    session_.setWaitJob(WaitJob::Sort);
    try {
        ShowWait();
    } catch (const DbError& e) {
        session_.ShowQueryFailure(e);
    }
    session_.setWaitJob(WaitJob::Search);
}

// --- Wait jobs ------------------------------------------------------------------------------------------

void CataloguePanel::ShowWait()
{
    session_.ShowWait([this] { RunWaitJob(); });
}

void CataloguePanel::RunWaitJob()
{
    if (listsPending_) {
        listsPending_ = false;
        FillVolumeList();
        platforms_.ClearPlatforms();
        FillPlatformList();
    }
    session_.RunRecordQuery();
}

void CataloguePanel::FillVolumeList()
{
    views_.records().setRecordset(nullptr);
    const std::string statement = schema::volumeListStatement(session_.tableName());
    session_.RunStatement(statement, [this](Recordset& rs) {
        const long n = rs.RecordCount();
        for (long r = 1; r <= n; ++r) {
            Combo2->addItem(QString::fromStdString(VolumeItemText(fieldText(rs, "gt_cdno"))));
            Combo2->setItemData(Combo2->count() - 1, static_cast<qlonglong>(fieldLong(rs, "cnt")));
            rs.MoveNext();
        }
    });
}

void CataloguePanel::FillPlatformList()
{
    views_.records().setRecordset(nullptr);
    const std::string statement = schema::platformListStatement(session_.tableName());
    session_.RunStatement(statement, [this](Recordset& rs) {
        const long n = rs.RecordCount();
        for (long r = 1; r <= n; ++r) {
            platforms_.AddPlatform(fieldText(rs, "gt_pf"), fieldLong(rs, "cnt"));
            rs.MoveNext();
        }
        platforms_.PlatformsAdded();
    });
}

} // namespace orv
