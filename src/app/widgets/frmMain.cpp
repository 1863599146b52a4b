#include "app/widgets/frmMain.h"

#include "actions/widgets/ActionsPanel.h"
#include "app/Startup.h"
#include "app/Version.h"
#include "app/widgets/Appearance.h"
#include "catalogue/widgets/CataloguePanel.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"
#include "search/widgets/SearchPanel.h"
#include "views/Layout.h"
#include "views/widgets/ViewsPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace orv {

namespace {

// How long after the first activation a window manager's late answer to the placement is still
// taken as one.
constexpr int kLateAnswerMs = 1000;

const QString kOpenFailureMessage = QStringLiteral("データベースファイルが開けません。\r\nプログラムを終了します。");

} // namespace

frmMain::frmMain(const StartupEnvironment& env, QWidget* parent) : QWidget(parent), env_(env)
{
    setObjectName(QStringLiteral("frmMain"));
    // Before the controls are made: their captions are fitted to it.
    KeepDesignFont(this);
    setWindowTitle(kAppTitle);
    // Tool tips show on hover whether or not the window has the focus, as the design's do.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    endProgram_ = [] { QCoreApplication::exit(0); };

    search_ = new SearchPanel(this);
    views_ = new ViewsPanel(this);
    catalogue_ = new CataloguePanel(this, env_.catalogue, *views_, *search_);
    actions_ = new ActionsPanel(this, *views_, env_.exeFolder, env_.discReader, env_.xdg);
    connect(search_, &SearchPanel::searchRequested, catalogue_, &CataloguePanel::Search);
    connect(search_, &SearchPanel::conditionsReset, catalogue_,
            [this] { catalogue_->SetCombo2Text(QStringLiteral("ALL")); });
    connect(views_, &ViewsPanel::sortRequested, catalogue_, &CataloguePanel::Sort);
    connect(views_, &ViewsPanel::modeChanged, this, &frmMain::ArrangeViews);
    connect(views_, &ViewsPanel::recordShown, actions_, &ActionsPanel::ShowTargetCaption);
    connect(catalogue_, &CataloguePanel::catalogueFailed, this, &frmMain::CatalogueFailed);

    // Made in the design's order, which is also the order they are stacked and read out in.
    views_->BuildGrid();
    views_->BuildCard();
    buildTopBand();
    IgnoreUnboundAltKeys(this);
    FollowKeyboardFocus(this);

    // The designed client area; placement may change it at the first activation.
    resize(TwipsToPxX(9480), TwipsToPxY(6795));
    Form_Load();
    // Created where the first activation will place it: a position given before the window
    // exists is where the window manager puts its frame, so the window does not jump then.
    const Placement p = SavedPlacement();
    if (p.move)
        move(TwipsToPxX(p.rect.left), TwipsToPxY(p.rect.top));
}

frmMain::~frmMain() = default;

void frmMain::setShell(std::unique_ptr<Shell> shell) { actions_->setShell(std::move(shell)); }

void frmMain::buildTopBand()
{
    Frame1 = MakeControl<QWidget>(this, "Frame1", 0, 0, 9480, 2775);
    actions_->BuildDriveButton(Frame1);
    Label4 = MakeControl<QLabel>(Frame1, "Label4", 4440, 0, 4935, 255);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    search_->Build(Frame1);
    views_->BuildRecordBar(Frame1);
    catalogue_->Build(Frame1);
    actions_->BuildEntryButtons(Frame1);
    Command4 = MakeControl<QPushButton>(Frame1, "Command4", 8400, 2280, 975, 375, QStringLiteral("終了(&X)"));
    Command4->setToolTip(QStringLiteral("終了"));
    Command4->setAutoDefault(true); // Enter on a focused button presses it
    connect(Command4, &QPushButton::clicked, this, [this] { close(); });

    // The position and the record total reach into the record frame: long counts stay clear of
    // its buttons and line.
    const int recordFrameRight = Frame1->findChild<QWidget*>(QStringLiteral("Frame4"))->geometry().right() + 3;
    for (const char* name : {"Label3", "Label5"}) {
        auto* l = Frame1->findChild<FittingLabel*>(QLatin1String(name));
        l->setKeptClear(recordFrameRight - l->x());
    }

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setTracking(false); // the band moves when the value is committed, not while dragging
    HScroll1->setSingleStep(8);
    HScroll1->hide();
    PlaceTwips(HScroll1, 0, 0, 0, 255);
    views_->BuildScrollBars();
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmMain::HScroll1_Change);
    views_->BuildNotice();

    orderFocus();
    Frame1->raise();
}

// Focus order: the top band, the card's boxes, the grid, then the CD number and date boxes.
void frmMain::orderFocus()
{
    static const char* const order[] = {
        "btnSelRoot",   "optNew_0",      "optNew_1",   "optNew_2",    "Check1_2",    "List1",        "Check1_1",
        "txtStrGame_0", "optGame_0",     "optGame_1",  "chkFind1_0",  "chkFind1_1",  "chkFind1_2",   "chkFind1_3",
        "Check1_0",     "txtStrMaker_0", "optMaker_0", "optMaker_1",  "chkFind2_0",  "chkFind2_1",   "chkFind2_2",
        "chkFind2_3",   "Command5",      "Command1",   "btnRecord_1", "btnRecord_2", "btnRecord_3",  "btnRecord_4",
        "btnMode",      "Combo2",        "Command2",   "Command3",    "Command4",    "txtNew",       "txtSS",
        "txtWindows",   "txtF_S",        "txtGame",    "txtMaker",    "txtFile",     "txtCopyright", "txtEffect",
        "DBGrid1",      "txtNo",         "txtCDDate"};
    QWidget* previous = nullptr;
    for (const char* name : order) {
        QWidget* w = findChild<QWidget*>(QLatin1String(name));
        Q_ASSERT(w);
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

// --- Start-up ------------------------------------------------------------------------------------

void frmMain::Form_Load()
{
    appFolder_ = AppFolderFrom(env_.exeFolder.toStdString());
    screenCheck_ = kScreenCheckNone;
    if (!env_.commandLine.isEmpty())
        screenCheck_ = ScanSwitches(env_.commandLine.toStdString());
    actions_->RestoreDrive();

    Label4->setText(QString::fromStdString(
        VersionCaption(ORVANTIS_VERSION_MAJOR, ORVANTIS_VERSION_MINOR, ORVANTIS_VERSION_PATCH, ORVANTIS_COPYRIGHT)));
    // Beside the program when a catalogue lies there (TEVO.INI and TEVOX20.MDB as copied from a
    // CD count too), else the user's and the system's folders of an installed program.
    const FileLocations files = LocateFiles(appFolder_, env_.xdg);
    settingsPath_ = files.settings;
    catalogue_->setCataloguePath(files.catalogue);

    // The one reading of the settings file in a run; the first activation takes its values too.
    savedSettings_ = SavedSettings::Read(settingsPath_);
    search_->RestoreConditions(LoadSearchSettings(savedSettings_));
    appliedSettings_.mark(SettingGroup::Search);

    CountMonitors();
    LimitMonitorCount(census_, screenCheck_);
}

void frmMain::CountMonitors()
{
    auto& c = census_;
    c = MonitorCensus{};
    const QList<QScreen*> screens = QGuiApplication::screens();
    c.monitorCount = screens.size();
    if (c.monitorCount <= 0)
        return;
    const QRect v = QGuiApplication::primaryScreen()->virtualGeometry();
    c.virtualLeft = v.left();
    c.virtualTop = v.top();
    c.virtualWidth = v.width();
    c.virtualHeight = v.height();
    // The primary screen first, then the others from left to right, top to bottom.
    QList<QScreen*> ordered = screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    std::stable_sort(ordered.begin(), ordered.end(), [primary](QScreen* a, QScreen* b) {
        if ((a == primary) != (b == primary))
            return a == primary;
        const QRect ga = a->geometry(), gb = b->geometry();
        return ga.left() != gb.left() ? ga.left() < gb.left() : ga.top() < gb.top();
    });
    c.monitorRects.reserve(static_cast<size_t>(c.monitorCount) + 5);
    for (QScreen* s : ordered) {
        if (c.monitorRects.size() >= static_cast<size_t>(c.monitorCount) + 5)
            break;
        const QRect g = s->geometry();
        c.monitorRects.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
    }
}

// --- Window geometry ------------------------------------------------------------------------------

float frmMain::ScaleWidth() const { return static_cast<float>(width()) * TwipsPerPixelX(); }
float frmMain::ScaleHeight() const { return static_cast<float>(height()) * TwipsPerPixelY(); }

int frmMain::WindowState() const
{
    if (isMinimized())
        return 1;
    if (isMaximized())
        return 2;
    return 0;
}

FrameMargins frmMain::frameMargins() const
{
    const QWindow* window = windowHandle();
    if (!window)
        return {};
    const QMargins m = window->frameMargins();
    return {m.left(), m.top(), m.right(), m.bottom()};
}

QRect frmMain::outerRect() const { return windowHandle() ? windowHandle()->frameGeometry() : frameGeometry(); }

Placement frmMain::SavedPlacement() const
{
    TwipsRect saved;
    saved.top = savedSettings_.whole(SettingKey::Top);
    saved.left = savedSettings_.whole(SettingKey::Left);
    saved.width = savedSettings_.whole(SettingKey::Width);
    saved.height = savedSettings_.whole(SettingKey::Height);
    return PlaceWindow(saved, census_, TwipsPerPixelX(), TwipsPerPixelY());
}

QRect frmMain::roomOnScreen() const
{
    QRect a = screen()->availableGeometry();
    // A scaled screen gives the frame in whole logical pixels, rounded either way: a pixel of
    // room on each side keeps all of the real frame on the screen.
    if (windowHandle() && windowHandle()->devicePixelRatio() != 1.0)
        a.adjust(1, 1, -1, -1);
    return a;
}

Placement frmMain::FirstPlacement() const
{
    const QRect o = outerRect();
    const QRect a = roomOnScreen();
    return FitInside({o.left(), o.top(), o.left() + o.width(), o.top() + o.height()},
                     {a.left(), a.top(), a.left() + a.width(), a.top() + a.height()}, TwipsPerPixelX(),
                     TwipsPerPixelY());
}

void frmMain::PlaceFromSettings()
{
    // The saved rectangle is the outer frame; the frame's size is known once the window manager
    // has mapped the window. Its answer to the placement is not waited for: a request that changes
    // nothing gets none, and frame extents that come with the answer or later place the frame
    // again as they arrive (followFrameExtents).
    WaitForExposure(this);
    Placement p = SavedPlacement();
    if (!p.move)
        p = FirstPlacement();
    const bool maximise = savedSettings_.whole(SettingKey::WinState) == 2;
    if (p.move) {
        placedFrame_ = p.rect;
        placeFrame();
    }
    // Maximised after the move, so that restoring returns to the placed frame.
    if (maximise) {
        setWindowState(windowState() | Qt::WindowMaximized);
        placementAnswered_ = false;
    }
    appliedSettings_.mark(SettingGroup::Window);
}

// Puts the client area where the placed frame wants it, for the frame extents known now; nothing
// when the window is maximised.
void frmMain::placeFrame()
{
    if (!placedFrame_ || isMaximized() || isFullScreen())
        return;
    applyMinimumSize(); // the minimum made before the frame was known would hold the window larger
    const FrameMargins m = frameMargins();
    placedMargins_ = m;
    const PixelRect c = ClientRectForFrame(*placedFrame_, m, TwipsPerPixelX(), TwipsPerPixelY());
    const QRect client(static_cast<int>(c.left), static_cast<int>(c.top), static_cast<int>(c.right - c.left),
                       static_cast<int>(c.bottom - c.top));
    if (client != geometry()) {
        setGeometry(client);
        placementAnswered_ = false;
    }
}

// A window manager that reports its frame extents only after the placement: the frame goes where
// it was saved all the same. A window the user has moved meanwhile, with the extents unchanged,
// stays where it is.
void frmMain::followFrameExtents()
{
    const FrameMargins m = frameMargins();
    if (placedFrame_
        && (m.left != placedMargins_.left || m.top != placedMargins_.top || m.right != placedMargins_.right
            || m.bottom != placedMargins_.bottom))
        placeFrame();
}

// The window system's word on the window's geometry: the answer to the placement, or a change of
// its own. The placed frame is followed until the first activation has ended and the placement
// has had its answer, or for a bounded time after that activation where the answer never comes.
void frmMain::windowSystemMoved()
{
    if (!placedFrame_)
        return;
    placementAnswered_ = true;
    followFrameExtents(); // a new request waits for its own answer
    if (activated_ && !activating_ && placementAnswered_)
        placedFrame_.reset();
}

void frmMain::endPlacement()
{
    followFrameExtents();
    if (placementAnswered_) {
        placedFrame_.reset();
        return;
    }
    QTimer::singleShot(kLateAnswerMs, this, [this] { placedFrame_.reset(); });
}

// --- Activation ------------------------------------------------------------------------------------

bool frmMain::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate: Form_Activate(); break;
    case QEvent::Show:
        // Some platforms never activate a window (offscreen, some window managers): the first
        // activation then runs once the window is shown.
        if (!activated_)
            QTimer::singleShot(0, this, [this] { Form_Activate(); });
        break;
    case QEvent::WindowDeactivate: views_->StopRepeat(); break;
    case QEvent::Move:
    case QEvent::Resize:
        if (e->spontaneous()) {
            const bool handled = QWidget::event(e);
            windowSystemMoved();
            return handled;
        }
        break;
    default: break;
    }
    return QWidget::event(e);
}

void frmMain::Form_Activate()
{
    // The placement waits for the window system; an activation arriving meanwhile is the same one.
    if (activated_ || placing_ || ended_ || !isVisible())
        return;
    // A close requested meanwhile (a quit signal) waits for the end of this, which runs nested
    // event loops of its own.
    activating_ = true;
    const auto done = qScopeGuard([this] { activating_ = false; });
    placing_ = true;
    PlaceFromSettings();
    placing_ = false;
    if (ended_)
        return;
    activated_ = true;
    views_->HideViews();
    RepaintNow(this);
    views_->PutCardAtList();
    ArrangeViews();

    catalogue_->SetCombo2Text(QStringLiteral("ALL"));
    if (ended_)
        return;
    endPlacement();
    if (catalogue_->openFailed()) {
        MsgBox(this, kOpenFailureMessage);
        close();
        return;
    }
    catalogue_->session().setWaitJob(WaitJob::Search);
    views_->RestoreView(LoadViewSettings(savedSettings_));
    appliedSettings_.mark(SettingGroup::ColumnWidths);
    appliedSettings_.mark(SettingGroup::ViewMode);
    // The active window, whatever the wait dialogs did with the focus: access keys work from the
    // first key on.
    TakeKeyboardFocus(this);
    search_->FocusKeywords();
}

// A catalogue that cannot be read ends the program once the window is up.
void frmMain::CatalogueFailed(bool stopped)
{
    if (activated_ && !ended_) {
        if (!stopped)
            MsgBox(this, kOpenFailureMessage);
        close();
    }
}

// --- Layout ----------------------------------------------------------------------------------------

void frmMain::ArrangeViews()
{
    LayoutInput in;
    in.scaleWidth = ScaleWidth();
    in.scaleHeight = ScaleHeight();
    in.mode = views_->mode();
    in.tppX = TwipsPerPixelX();
    in.tppY = TwipsPerPixelY();
    in.gridHeight = views_->gridHeightTwips();
    const LayoutResult r = ArrangeViewsGeometry(in);

    ApplyScrollBar(HScroll1, r.hScroll1);
    Frame1->move(TwipsToPxX(r.frame1Left), 0);
    views_->Arrange(r, in.scaleWidth);
    Frame1->raise();
    if (HScroll1->isVisible())
        HScroll1->raise();
    views_->RaiseScrollBars();
}

void frmMain::HScroll1_Change() { Frame1->move(-HScroll1->value(), Frame1->y()); }

// --- Resize ----------------------------------------------------------------------------------------

void frmMain::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    if (WindowState() == 1)
        return;
    const QSize least = applyMinimumSize();
    if (width() < least.width() || height() < least.height()) {
        resize(std::max(width(), least.width()), std::max(height(), least.height()));
        return;
    }
    ArrangeViews();
}

// The outer window is at least 6000 x 4500 twips, and never more than the screen has room for
// (a large scale); the client's share of that, for the frame known now.
QSize frmMain::applyMinimumSize()
{
    const FrameMargins m = frameMargins();
    const QSize room = roomOnScreen().size();
    const int minW = std::max(1, std::min(TwipsToPxX(6000), room.width()) - static_cast<int>(m.left + m.right));
    const int minH = std::max(1, std::min(TwipsToPxY(4500), room.height()) - static_cast<int>(m.top + m.bottom));
    if (minimumWidth() != minW || minimumHeight() != minH)
        setMinimumSize(minW, minH);
    return {minW, minH};
}

// --- Shut-down --------------------------------------------------------------------------------------

void frmMain::closeEvent(QCloseEvent* e)
{
    if (!unloading_) {
        unloading_ = true;
        Form_Unload();
    }
    e->accept();
}

frmMain::SavedRect frmMain::RectToSave() const
{
    const QRect g = outerRect();
    return {static_cast<float>(g.top()) * TwipsPerPixelY(), static_cast<float>(g.left()) * TwipsPerPixelX(),
            static_cast<float>(g.width()) * TwipsPerPixelX(), static_cast<float>(g.height()) * TwipsPerPixelY()};
}

void frmMain::writeSettings()
{
    using K = SettingKey;
    SettingsValues now;
    StoreSearchSettings(search_->ReadConditions(), now);
    // The saved choice reaches the platform list when the list is filled; an empty list (no
    // catalogue) offered nothing to choose, and the saved choice stays.
    if (search_->platformsOffered())
        appliedSettings_.mark(SettingGroup::Platforms);
    StoreViewSettings(views_->CurrentView(), now);
    const int state = WindowState();
    now.setWhole(K::WinState, state);
    if (state == 0) {
        const SavedRect r = RectToSave();
        now.setSingle(K::Top, r.top);
        now.setSingle(K::Left, r.left);
        now.setSingle(K::Width, r.width);
        now.setSingle(K::Height, r.height);
    }
    SaveSettings(settingsPath_, now, appliedSettings_);
}

void frmMain::Form_Unload()
{
    views_->StopRepeat();
    // An installed program's settings folder does not exist before its first shut-down.
    MakeFolderFor(settingsPath_);
    CommitComposition();
    writeSettings();
    ended_ = true;
    SetMousePointer(kDefaultPointer);
    if (endProgram_)
        endProgram_();
}

void frmMain::RequestClose()
{
    constexpr int kCloseRetryMs = 20;
    if (ended_)
        return;
    // A message box or the folder chooser is answered as by Escape; the wait dialog refuses
    // and its job runs to its end. Closing while a modal loop runs would cut that job short.
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    if (modal || (isVisible() && (!activated_ || activating_))) {
        QTimer::singleShot(kCloseRetryMs, this, &frmMain::RequestClose);
        return;
    }
    close();
}

} // namespace orv
