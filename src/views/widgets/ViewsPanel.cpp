#include "views/widgets/ViewsPanel.h"

#include "catalogue/Schema.h"
#include "platform/engine/Engine.h"
#include "platform/settings/NumberText.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"
#include "views/ColumnWidths.h"
#include "views/Layout.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace orv {

namespace {

// The record buttons' 16 x 16 pictures: triangles, with a bar for first and last, in the
// buttons' text colour.
PictureButton::Painter recordPicture(int index)
{
    return [index](QPainter& p) {
        const bool left = index <= kPreviousRecord;
        QPainterPath tri;
        if (left) {
            tri.moveTo(11, 3);
            tri.lineTo(11, 13);
            tri.lineTo(5, 8);
        } else {
            tri.moveTo(5, 3);
            tri.lineTo(5, 13);
            tri.lineTo(11, 8);
        }
        tri.closeSubpath();
        p.drawPath(tri);
        if (index == kFirstRecord)
            p.drawRect(3, 3, 2, 10);
        if (index == kLastRecord)
            p.drawRect(11, 3, 2, 10);
    };
}

QString utf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

} // namespace

void ApplyScrollBar(QScrollBar* bar, const ScrollBarGeometry& g)
{
    if (g.visible) {
        PlaceTwips(bar, g.left, g.top, g.width, g.height);
        bar->setRange(g.min, std::max(g.min, g.max));
        bar->setPageStep(std::max(1, g.largeChange));
        bar->setValue(g.value);
        bar->show();
        bar->raise();
    } else {
        bar->setValue(g.value);
        bar->hide();
    }
}

ViewsPanel::ViewsPanel(QWidget* window) : QObject(window), window_(window)
{
    std::copy(schema::kDefaultColumnWidths.begin(), schema::kDefaultColumnWidths.end(), columnWidths_.begin());
    Data1 = new DataControl(window);
    Data1->setObjectName(QStringLiteral("Data1"));
    Timer1 = new QTimer(window);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &ViewsPanel::Timer1_Timer);
}

// --- Building ---------------------------------------------------------------------------------------

void ViewsPanel::BuildGrid()
{
    DBGrid1 = new DBGrid(window_);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(Data1);
    // Only the list columns raise the header click; an extra field's column does not sort.
    connect(DBGrid1, &DBGrid::HeadClick, this, [this](int c) {
        if (c < schema::kListColumns)
            DBGrid1_HeadClick(c);
    });
    connect(DBGrid1, &DBGrid::RowColChange, this, &ViewsPanel::ShowRecordPosition);
    DBGrid1->setAccessibleName(QStringLiteral("一覧"));
    DBGrid1->setAccessibleDescription(QStringLiteral("検索結果、列見出しで並べ替え"));
}

void ViewsPanel::BuildCard()
{
    Frame8 = MakeControl<QWidget>(window_, "Frame8", 0, 2775, 9480, 3450);
    Frame8->hide();
    Frame5 = MakeControl<QWidget>(Frame8, "Frame5", 0, 0, 9480, 3450);

    auto line = [this](const char* name, double l, double t, double w, double h) {
        auto* e = MakeControl<QLineEdit>(Frame5, name, l, t, w, h);
        e->setReadOnly(true);
        CentreTextLine(e);
        e->installEventFilter(this);
        return e;
    };
    auto multi = [this](const char* name, double l, double t, double w, double h) {
        auto* e = MakeControl<QPlainTextEdit>(Frame5, name, l, t, w, h);
        e->setReadOnly(true);
        e->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        e->setTabChangesFocus(true);
        // One-line boxes in a card this small: no scroll bar to hide the text behind.
        if (h < 600)
            e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        AlignFirstTextLine(e, TwipsToPxY(270));
        e->installEventFilter(this);
        return e;
    };
    txtNew = line("txtNew", 120, 360, 495, 270);
    txtSS = line("txtSS", 750, 360, 1005, 270);
    txtWindows = line("txtWindows", 1950, 360, 915, 270);
    txtF_S = line("txtF_S", 3030, 360, 495, 270);
    txtGame = multi("txtGame", 1230, 840, 4575, 495);
    txtMaker = multi("txtMaker", 1230, 1440, 4575, 270);
    txtFile = line("txtFile", 6900, 840, 2415, 270);
    txtCopyright = line("txtCopyright", 6900, 1200, 2415, 270);
    txtEffect = multi("txtEffect", 1200, 1800, 8175, 1575);
    txtNo = line("txtNo", 120, 2460, 735, 270);
    txtCDDate = line("txtCDDate", 120, 3060, 1005, 270);

    // The captions name their boxes for assistive technology too.
    struct Caption {
        const char* text;
        double l, t, w;
        bool centred;
        QWidget* box;
    };
    const Caption captions[] = {
        {"新作", 120, 120, 495, true, txtNew},          {"プラットホーム", 690, 120, 1215, true, txtSS},
        {"動作OS", 1950, 120, 735, true, txtWindows},   {"F/S", 3030, 120, 495, true, txtF_S},
        {"ゲーム名", 120, 840, 975, false, txtGame},    {"メーカー名", 120, 1440, 975, false, txtMaker},
        {"効果", 120, 1800, 975, false, txtEffect},     {"ファイル名", 6000, 840, 855, false, txtFile},
        {"著作", 6000, 1200, 735, false, txtCopyright}, {"収録CD", 120, 2220, 975, false, txtNo},
        {"CD発売日", 120, 2820, 975, false, txtCDDate}};
    for (const auto& c : captions) {
        auto* l = MakeControl<QLabel>(Frame5, "cardCaption", c.l, c.t, c.w, 255, QString::fromUtf8(c.text));
        l->setAlignment((c.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        FitCaption(l);
        l->setBuddy(c.box);
    }
    lblFolder = MakeControl<QLabel>(Frame5, "lblFolder", 6600, 1560, 1935, 255);
    lblFolder->hide();
}

void ViewsPanel::BuildRecordBar(QWidget* band)
{
    Frame4 = MakeControl<Frame>(band, "Frame4", 1350, 2190, 1545, 555, QStringLiteral("レコード(&R)"));
    const double recLeft[] = {0, 150, 465, 780, 1095};
    const QString steps[] = {{},
                             QStringLiteral("先頭のレコード"),
                             QStringLiteral("前のレコード"),
                             QStringLiteral("次のレコード"),
                             QStringLiteral("最後のレコード")};
    for (int i = kFirstRecord; i <= kLastRecord; ++i) {
        auto* button = MakeControl<PictureButton>(Frame4, "btnRecord", recLeft[i], 180, 315, 315);
        button->setPicture(recordPicture(i));
        btnRecord[i] = button;
        btnRecord[i]->setObjectName(IndexedName("btnRecord", i));
        btnRecord[i]->setAutoDefault(true);
        btnRecord[i]->setAccessibleName(steps[i]);
        btnRecord[i]->installEventFilter(this);
        connect(btnRecord[i], &QPushButton::clicked, this, [this, i] { btnRecord_Click(i); });
    }
    Frame4->setNextInTabOrder(btnRecord[1]);

    btnMode = MakeControl<QPushButton>(band, "btnMode", 120, 2340, 975, 375, QStringLiteral("カード(&C)"));
    btnMode->setToolTip(QStringLiteral("カード型表示へ"));
    btnMode->setAutoDefault(true); // Enter on a focused button presses it
    connect(btnMode, &QPushButton::clicked, this, &ViewsPanel::btnMode_Click);
    Label3 = MakeControl<FittingLabel>(band, "Label3", 2640, 2280, 1575, 255);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void ViewsPanel::BuildScrollBars()
{
    HScroll2 = new QScrollBar(Qt::Horizontal, window_);
    HScroll2->setObjectName(QStringLiteral("HScroll2"));
    VScroll2 = new QScrollBar(Qt::Vertical, window_);
    VScroll2->setObjectName(QStringLiteral("VScroll2"));
    for (auto* s : {HScroll2, VScroll2}) {
        s->setTracking(false); // the card moves when the value is committed, not while dragging
        s->setSingleStep(8);
        s->hide();
    }
    PlaceTwips(HScroll2, 0, 0, 0, 255);
    PlaceTwips(VScroll2, 0, 0, 255, 0);
    connect(HScroll2, &QScrollBar::valueChanged, this, &ViewsPanel::HScroll2_Change);
    connect(VScroll2, &QScrollBar::valueChanged, this, &ViewsPanel::VScroll2_Change);
}

void ViewsPanel::BuildNotice()
{
    Frame10 = MakeControl<QWidget>(window_, "Frame10", 0, 2760, 9495, 3495);
    Label7 = MakeControl<QLabel>(Frame10, "Label7", 0, 0, 9495, 3495,
                                 QStringLiteral("データベースファイル読み込み中・・・"));
    Label7->setAlignment(Qt::AlignCenter);
    Frame10->setAutoFillBackground(true);
}

QWidgetList ViewsPanel::recordBarFocusOrder() const
{
    return {btnRecord[kFirstRecord], btnRecord[kPreviousRecord], btnRecord[kNextRecord], btnRecord[kLastRecord],
            btnMode};
}

QWidgetList ViewsPanel::viewsFocusOrder() const
{
    return {txtNew,  txtSS,        txtWindows, txtF_S,  txtGame, txtMaker,
            txtFile, txtCopyright, txtEffect,  DBGrid1, txtNo,   txtCDDate};
}

int ViewsPanel::recordFrameRight() const { return Frame4->geometry().right() + 3; }

void ViewsPanel::KeepPositionClearOf(int x) { Label3->setKeptClear(x - Label3->x()); }

// --- View mode and layout ---------------------------------------------------------------------------

void ViewsPanel::btnMode_Click()
{
    if (mode_ == ViewMode::Card) {
        btnMode->setText(QStringLiteral("カード(&C)"));
        btnMode->setToolTip(QStringLiteral("カード型表示へ"));
        mode_ = ViewMode::List;
    } else {
        btnMode->setText(QStringLiteral("一覧(&L)"));
        btnMode->setToolTip(QStringLiteral("一覧型表示へ"));
        mode_ = ViewMode::Card;
    }
    emit modeChanged();
}

float ViewsPanel::gridHeightTwips() const { return static_cast<float>(DBGrid1->height()) * TwipsPerPixelY(); }

void ViewsPanel::Arrange(const LayoutResult& r, float scaleWidth)
{
    if (r.frame8Visible) {
        PlaceTwips(Frame8, r.frame8Left, r.frame8Top, r.frame8Width, r.frame8Height);
        Frame8->show();
    } else {
        Frame8->hide();
    }
    ApplyScrollBar(HScroll2, r.hScroll2);
    ApplyScrollBar(VScroll2, r.vScroll2);
    Frame5->move(TwipsToPxX(r.frame5Left), TwipsToPxY(r.frame5Top));
    if (r.gridVisible) {
        PlaceTwips(DBGrid1, 0, r.gridTop, scaleWidth, r.gridHeight);
        DBGrid1->show();
    } else {
        DBGrid1->hide();
    }
}

void ViewsPanel::RaiseScrollBars()
{
    for (auto* s : {HScroll2, VScroll2})
        if (s->isVisible())
            s->raise();
}

void ViewsPanel::HideViews()
{
    Frame8->hide();
    DBGrid1->hide();
}

void ViewsPanel::PutCardAtList() { Frame8->move(Frame8->x(), DBGrid1->y()); }

void ViewsPanel::HScroll2_Change() { Frame5->move(-HScroll2->value(), Frame5->y()); }
void ViewsPanel::VScroll2_Change() { Frame5->move(Frame5->x(), -VScroll2->value()); }

void ViewsPanel::RestoreView(const ViewSettings& view)
{
    for (int i = 0; i < kSavedColumnCount; ++i)
        if (const auto& w = view.columnWidths[static_cast<std::size_t>(i)])
            DBGrid1->setColumnWidth(i, *w);
    if (view.mode && *view.mode != static_cast<long>(mode_))
        btnMode_Click();
}

ViewSettings ViewsPanel::CurrentView() const
{
    ViewSettings view;
    view.mode = static_cast<long>(mode_);
    for (int i = 0; i < kSavedColumnCount; ++i)
        view.columnWidths[static_cast<std::size_t>(i)] = DBGrid1->columnWidth(i);
    return view;
}

// --- The rows the catalogue hands over -----------------------------------------------------------------

void ViewsPanel::KeepColumnWidths()
{
    if (widthsCaptured_) {
        for (int i = 0; i < schema::kListColumns && i < DBGrid1->columnCount(); ++i)
            columnWidths_[static_cast<size_t>(i)] = RoundHalfEven(DBGrid1->columnWidth(i));
    } else {
        // The first list: the design's widths, widened as the list's font needs them.
        columnWidths_ =
            FittedColumnWidths(schema::kDefaultColumnWidths, DBGrid1->cellWidthFor(widestDate()), TwipsPerPixelX());
        widthsCaptured_ = true;
    }
}

// A stored date (1998/02/10) in the list's font, each digit as wide as its widest.
QString ViewsPanel::widestDate() const
{
    const QFontMetricsF metrics(DBGrid1->font());
    QChar widest = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d)
        if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(d);
    return QString(4, widest) + QLatin1Char('/') + QString(2, widest) + QLatin1Char('/') + QString(2, widest);
}

void ViewsPanel::applyColumnWidths()
{
    for (int i = 0; i < schema::kListColumns; ++i)
        DBGrid1->setColumnWidth(i, static_cast<float>(columnWidths_[static_cast<size_t>(i)]));
}

void ViewsPanel::ShowRecords(Recordset& rs)
{
    if (rs.RecordCount() != 0) {
        Data1->notifyMoved();
        for (const schema::CardBinding& b : schema::kCardBindings)
            Data1->setDataField(Frame5->findChild<QWidget*>(utf8(b.control), Qt::FindDirectChildrenOnly),
                                utf8(b.field));
    }
    // The grid shows one column per field; the list shows the list columns and the fields after
    // the catalogue's own.
    for (int i = 0; i < schema::kListColumns; ++i) {
        if (i >= DBGrid1->columnCount())
            throw DbError::invalidColumnIndex();
        DBGrid1->setColumnCaption(i, utf8(schema::kListCaptions[static_cast<size_t>(i)]));
    }
    for (int i = schema::kFieldCount - 1; i >= schema::kListColumns; --i) {
        if (i >= DBGrid1->columnCount())
            throw DbError::invalidColumnIndex();
        DBGrid1->removeColumn(i);
    }
    applyColumnWidths();
}

void ViewsPanel::ShowNoRecords()
{
    QStringList captions;
    for (const auto& c : schema::kListCaptions)
        captions << utf8(c);
    DBGrid1->showEmpty(captions);
    applyColumnWidths();
}

void ViewsPanel::CatalogueRead() { Frame10->hide(); }

ShownEntry ViewsPanel::currentEntry() const
{
    return {txtNo->text().toStdString(), lblFolder->text().toStdString(), txtFile->text().toStdString()};
}

// --- Column sort ---------------------------------------------------------------------------------------------

void ViewsPanel::DBGrid1_HeadClick(int colIndex)
{
    if (colIndex < 0 || colIndex >= static_cast<int>(sortDescending_.size()))
        return;
    std::string sortText;
    if (colIndex < schema::kListColumns)
        sortText = std::string(schema::kSortTexts[static_cast<size_t>(colIndex)]);
    if (sortDescending_[static_cast<size_t>(colIndex)]) {
        sortDescending_[static_cast<size_t>(colIndex)] = false;
        sortText += " DESC";
    } else {
        sortDescending_[static_cast<size_t>(colIndex)] = true;
    }
    emit sortRequested(sortText);
}

} // namespace orv
