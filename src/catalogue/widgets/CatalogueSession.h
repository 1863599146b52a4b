// The open catalogue and its record query: the database, the table, the filter and sort, the last
// statement that ran through and the wait job. The one place that runs a statement; the rows go to
// the views (RecordsView) and the lists.
#pragma once

#include "catalogue/RecordsView.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace orv {

enum class WaitJob : unsigned char; // platform/widgets/dlgWait.h
class CatalogueSource;
class DataControl;
class Database;
class Recordset;
struct DbError;

class CatalogueSession : public QObject {
    Q_OBJECT
public:
    CatalogueSession(QWidget* window, RecordsView& views);
    ~CatalogueSession() override;

    // Reads the catalogue file; throws DbError (any other failure turned into one).
    void Open(const CatalogueSource& source, const std::string& path);

    // The wait dialog of the current job, which runs work once it is on the screen.
    void ShowWait(const std::function<void()>& work);
    void setWaitJob(WaitJob job) { waitJob_ = job; }

    // Runs a statement into Data1 as every list routine does, showing it in the window's title: a
    // failure other than "no current record" is reported once and the last statement that ran
    // through runs instead; a failure of that retry reaches the caller.
    void RunStatement(std::string statement, const std::function<void(Recordset&)>& use);
    // SELECT * of the table with the filter and sort, into the views.
    void RunRecordQuery();
    // Where the retry fails too: the list is emptied but keeps its captions, and the program goes on.
    void ShowQueryFailure(const DbError& e);

    const std::string& tableName() const { return tableName_; }
    const std::string& filterText() const { return filterText_; }
    void setFilterText(std::string filter) { filterText_ = std::move(filter); }
    void setSortText(std::string sort) { sortText_ = std::move(sort); }
    // What a failed statement falls back to: the last one that ran through.
    void setLastStatement(std::string statement) { queryText_ = std::move(statement); }

signals:
    // The window's title: the statement that runs, in double quotes, until the views set it again;
    // the application's once a query has failed for good.
    void titleChanged(const QString& title);

private:
    QWidget* window_;
    RecordsView& views_;
    std::unique_ptr<Database> db_;
    std::string tableName_;
    std::string filterText_;
    std::string sortText_;
    std::string queryText_ = "SELECT * FROM ;";
    WaitJob waitJob_{}; // the load job
    bool messageShown_ = false; // the statement's failure was reported already
};

} // namespace orv
