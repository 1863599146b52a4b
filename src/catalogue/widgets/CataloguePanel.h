// The catalogue's place in the window: the CD volume selector (Label8, Combo2) and the record
// total (Label5), the catalogue session, opening the catalogue at the first volume click, the
// wait jobs, and the search and sort the other panels ask for.
#pragma once

#include "catalogue/widgets/CatalogueSession.h"
#include "search/SearchConditions.h"

#include <QObject>
#include <QWidgetList>
#include <memory>
#include <string>

class QComboBox;
class QLabel;

namespace orv {

class FittingLabel;
class PlatformList;

// The catalogue is read at the first volume click, once, whether or not that works.
enum class CatalogueState { Unread, Reading, Read, Failed };

class CataloguePanel : public QObject {
    Q_OBJECT
public:
    // window: the main window (the wait dialog's and messages' owner); the rows go to views and
    // platforms.
    CataloguePanel(QWidget* window, std::shared_ptr<const CatalogueSource> source, RecordsView& views,
                   PlatformList& platforms);
    ~CataloguePanel() override;

    // Makes the controls in the top band.
    void Build(QWidget* band);
    QWidgetList focusOrder() const;
    // The record total keeps its text right of x (in the band), clear of another control.
    void KeepTotalClearOf(int x);
    // The catalogue file the first volume click opens.
    void setCataloguePath(const std::string& path) { cataloguePath_ = path; }

    void Combo2_Click();
    void SetCombo2Text(const QString& text); // Combo2.Text = text: selects the item and raises the click

    // The search with these conditions in the chosen volume, under the search wait.
    void Search(SearchConditions c);
    // The list sorted by this ORDER BY text (with " DESC" or not), under the sort wait.
    void Sort(std::string sortText);

    CatalogueSession& session() { return session_; }
    bool openFailed() const { return state_ == CatalogueState::Failed; }

signals:
    // The catalogue could not be read; stopped: the read was cut short by the program closing.
    void catalogueFailed(bool stopped);

private:
    void ShowWait();
    void RunWaitJob();
    void FillVolumeList();
    void FillPlatformList();

    QWidget* window_;
    std::shared_ptr<const CatalogueSource> source_;
    RecordsView& views_;
    PlatformList& platforms_;
    CatalogueSession session_;

    QLabel* Label8 = nullptr;
    QComboBox* Combo2 = nullptr;
    FittingLabel* Label5 = nullptr;

    std::string cataloguePath_;
    CatalogueState state_ = CatalogueState::Unread;
    std::string cdFilter_;
    long recordTotal_ = 0;
    bool listsPending_ = true;
};

} // namespace orv
