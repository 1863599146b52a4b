#include "app/widgets/frmMain.h"

#include "actions/widgets/ActionsPanel.h"
#include "app/Startup.h"
#include "app/Version.h"
#include "app/widgets/Appearance.h"
#include "app/widgets/WindowPlacer.h"
#include "catalogue/widgets/CataloguePanel.h"
#include "platform/widgets/MakeControl.h"
#include "platform/widgets/Toolkit.h"
#include "platform/widgets/dlgWait.h"
#include "search/widgets/SearchPanel.h"
#include "views/Layout.h"
#include "views/widgets/ViewsPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace orv {

namespace {

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
    actions_ = new ActionsPanel(this, *views_, env_.exeFolder, env_.discReader, CacheBaseDir(env_.xdg));
    placer_ = new WindowPlacer(this);
    connect(search_, &SearchPanel::searchRequested, catalogue_, &CataloguePanel::Search);
    connect(search_, &SearchPanel::conditionsReset, catalogue_,
            [this] { catalogue_->SetCombo2Text(QStringLiteral("ALL")); });
    connect(views_, &ViewsPanel::sortRequested, catalogue_, &CataloguePanel::Sort);
    connect(views_, &ViewsPanel::modeChanged, this, &frmMain::ArrangeViews);
    connect(views_, &ViewsPanel::recordShown, actions_, &ActionsPanel::ShowTargetCaption);
    connect(catalogue_, &CataloguePanel::catalogueFailed, this, &frmMain::CatalogueFailed);
    // The title is the window's own; the catalogue shows what runs, the actions the entry's folder.
    connect(&catalogue_->session(), &CatalogueSession::titleChanged, this, &QWidget::setWindowTitle);
    connect(actions_, &ActionsPanel::titleChanged, this, &QWidget::setWindowTitle);

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
    placer_->Prepare(savedFrame());
}

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
    const int recordFrameRight = views_->recordFrameRight();
    views_->KeepPositionClearOf(recordFrameRight);
    catalogue_->KeepTotalClearOf(recordFrameRight);

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

// Focus order: the top band from the drive button to the exit button, then the card's boxes, the
// grid, and the CD number and date boxes.
void frmMain::orderFocus()
{
    const QWidgetList parts[] = {actions_->driveFocusOrder(),   search_->focusOrder(),
                                 views_->recordBarFocusOrder(), catalogue_->focusOrder(),
                                 actions_->entryFocusOrder(),   {Command4},
                                 views_->viewsFocusOrder()};
    QWidget* previous = nullptr;
    for (const QWidgetList& part : parts) {
        for (QWidget* w : part) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
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

    placer_->CountMonitors(screenCheck_);
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

TwipsRect frmMain::savedFrame() const
{
    TwipsRect saved;
    saved.top = savedSettings_.whole(SettingKey::Top);
    saved.left = savedSettings_.whole(SettingKey::Left);
    saved.width = savedSettings_.whole(SettingKey::Width);
    saved.height = savedSettings_.whole(SettingKey::Height);
    return saved;
}

void frmMain::PlaceFromSettings()
{
    placer_->Place(savedFrame(), savedSettings_.whole(SettingKey::WinState) == 2);
    appliedSettings_.mark(SettingGroup::Window);
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
            placer_->WindowSystemMoved(activated_ && !activating_);
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
    if (activated_ || placer_->placing() || ended_ || !isVisible())
        return;
    // A close requested meanwhile (a quit signal) waits for the end of this, which runs nested
    // event loops of its own.
    activating_ = true;
    const auto done = qScopeGuard([this] { activating_ = false; });
    PlaceFromSettings();
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
    placer_->EndPlacement();
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
    const QSize least = placer_->ApplyMinimumSize();
    if (width() < least.width() || height() < least.height()) {
        resize(std::max(width(), least.width()), std::max(height(), least.height()));
        return;
    }
    ArrangeViews();
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
    // What the window system does not tell (a Wayland window's position) is written back as read.
    const int state = WindowState();
    if (placer_->StateKnown())
        now.setWhole(K::WinState, state);
    if (state == 0 && placer_->StateKnown()) {
        // The outer frame, in twips.
        const QRect g = placer_->OuterRect();
        if (placer_->PositionKnown()) {
            now.setSingle(K::Top, static_cast<float>(g.top()) * TwipsPerPixelY());
            now.setSingle(K::Left, static_cast<float>(g.left()) * TwipsPerPixelX());
        }
        now.setSingle(K::Width, static_cast<float>(g.width()) * TwipsPerPixelX());
        now.setSingle(K::Height, static_cast<float>(g.height()) * TwipsPerPixelY());
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
