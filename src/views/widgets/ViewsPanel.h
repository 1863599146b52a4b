// The record views: the list (DBGrid1) and the card (Frame8, Frame5 and its field boxes) over the
// rows of Data1, the loading notice over them (Frame10), the record buttons (Frame4, btnRecord,
// Timer1) with press-and-hold repetition, the view mode button (btnMode), the position (Label3) and
// the card's scroll bars. It shows the rows the catalogue hands it and asks for the sorts.
#pragma once

#include "actions/EntrySource.h"
#include "catalogue/RecordsView.h"
#include "catalogue/Schema.h"
#include "views/Layout.h"
#include "views/ViewSettings.h"

#include <QObject>
#include <QWidgetList>
#include <array>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTimer;

namespace orv {

class DataControl;
class DBGrid;
class FittingLabel;
class Frame;

// Places a scroll bar as the layout says, or hides it.
void ApplyScrollBar(QScrollBar* bar, const ScrollBarGeometry& g);

// The record buttons btnRecord_1 to btnRecord_4, each named by the step it takes.
enum RecordStep : int { kFirstRecord = 1, kPreviousRecord = 2, kNextRecord = 3, kLastRecord = 4 };
// The keys the record buttons and the card's boxes answer, by their virtual-key codes.
enum RecordKey : int { kKeySpace = 32, kKeyPageUp = 33, kKeyPageDown = 34 };
// The mouse button of a press: the left one steps, any other is ignored.
enum RecordMouseButton : int { kLeftButton = 1, kOtherButton = 2 };

class ViewsPanel : public QObject, public RecordsView, public EntrySource {
    Q_OBJECT
public:
    // window: the main window, whose client area the list, the card and the notice take.
    explicit ViewsPanel(QWidget* window);

    // The window's controls are made in the design's order, a part at a time.
    void BuildGrid();
    void BuildCard();
    void BuildRecordBar(QWidget* band); // Frame4, btnMode, Label3
    void BuildScrollBars(); // HScroll2, VScroll2
    void BuildNotice(); // Frame10
    QWidgetList recordBarFocusOrder() const; // the record buttons, the view mode
    QWidgetList viewsFocusOrder() const; // the card's boxes, the list, the CD number and date
    // The first x right of the record frame (in the band), two pixels clear of its line.
    int recordFrameRight() const;
    // The position keeps its text right of x (in the band), clear of another control.
    void KeepPositionClearOf(int x);

    ViewMode mode() const { return mode_; }
    float gridHeightTwips() const;
    void Arrange(const LayoutResult& r, float scaleWidth);
    void RaiseScrollBars();
    // Before the first arrangement the window is painted without either view; the card then
    // starts where the list is.
    void HideViews();
    void PutCardAtList();

    // The mode and column widths the settings file kept, and those to keep.
    void RestoreView(const ViewSettings& view);
    ViewSettings CurrentView() const;

    void btnMode_Click();
    void HScroll2_Change();
    void VScroll2_Change();
    void DBGrid1_HeadClick(int colIndex);
    void StepRecord(int step); // a RecordStep; any other value does nothing
    void btnRecord_MouseDown(int index, int button);
    void btnRecord_MouseUp(int index, int button);
    void btnRecord_KeyDown(int index, int keyCode);
    void btnRecord_KeyUp(int index, int keyCode);
    void btnRecord_Click(int index);
    void Timer1_Timer();
    void FieldPageKeyDown(int keyCode);
    void FieldPageKeyUp(int keyCode);
    void ShowRecordPosition();
    void StopRepeat(); // a press never outlives the window's focus

    // RecordsView
    DataControl& records() override { return *Data1; }
    void KeepColumnWidths() override;
    void ShowRecords(Recordset& rs) override;
    void ShowNoRecords() override;
    void CatalogueRead() override;

    // EntrySource
    ShownEntry currentEntry() const override;

signals:
    void modeChanged();
    void sortRequested(const std::string& sortText);
    void recordShown();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void endPressIfNoClick();
    void applyColumnWidths();
    QString widestDate() const;
    void NameControls();

    QWidget* window_;
    DataControl* Data1 = nullptr;
    QTimer* Timer1 = nullptr;
    DBGrid* DBGrid1 = nullptr;
    QWidget* Frame8 = nullptr;
    QWidget* Frame5 = nullptr;
    QLineEdit* txtNew = nullptr;
    QLineEdit* txtSS = nullptr;
    QLineEdit* txtWindows = nullptr;
    QLineEdit* txtF_S = nullptr;
    QPlainTextEdit* txtGame = nullptr;
    QPlainTextEdit* txtMaker = nullptr;
    QLineEdit* txtFile = nullptr;
    QLineEdit* txtCopyright = nullptr;
    QPlainTextEdit* txtEffect = nullptr;
    QLineEdit* txtNo = nullptr;
    QLineEdit* txtCDDate = nullptr;
    QLabel* lblFolder = nullptr;
    QScrollBar* HScroll2 = nullptr;
    QScrollBar* VScroll2 = nullptr;
    QWidget* Frame10 = nullptr;
    QLabel* Label7 = nullptr;
    Frame* Frame4 = nullptr;
    std::array<QPushButton*, 5> btnRecord{}; // 1..4
    QPushButton* btnMode = nullptr;
    ViewMode mode_ = ViewMode::List;
    FittingLabel* Label3 = nullptr;

    std::array<long, schema::kGridColumnSlots> columnWidths_{}; // in twips, kept across queries
    std::array<bool, schema::kGridColumnSlots> sortDescending_{};
    bool widthsCaptured_ = false;
    int heldButton_ = 0;
    int swallowClick_ = 0;
    bool clickSeen_ = false;
};

} // namespace orv
