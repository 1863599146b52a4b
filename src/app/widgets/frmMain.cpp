#include "app/widgets/frmMain.h"

#include "app/Startup.h"
#include "app/Version.h"
#include "app/widgets/Appearance.h"
#include "catalogue/Schema.h"
#include "platform/engine/Engine.h"
#include "platform/settings/NumberText.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"
#include "search/FilterBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace orv {

namespace {

template <class W>
W* make(QWidget* parent, const char* name, double l, double t, double w, double h, const QString& caption = {})
{
    // A frame's controls go inside it.
    if (auto* frame = qobject_cast<Frame*>(parent))
        parent = frame->inside();
    auto* x = new W(parent);
    x->setObjectName(QString::fromLatin1(name));
    // Labels show their text as it is: a folder or entry that looks like markup stays text.
    if constexpr (std::is_base_of_v<QLabel, W>)
        x->setTextFormat(Qt::PlainText);
    if constexpr (std::is_base_of_v<QAbstractButton, W> || std::is_base_of_v<QLabel, W>)
        x->setText(caption);
    if constexpr (std::is_base_of_v<QGroupBox, W>)
        x->setTitle(caption);
    PlaceTwips(x, l, t, w, h);
    return x;
}

// How long after the first activation a window manager's late answer to the placement is still
// taken as one.
constexpr int kLateAnswerMs = 1000;

QString indexedName(const char* base, int i) { return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(i); }

// The record buttons' 16 x 16 pictures: triangles, with a bar for first and last, in the
// buttons' text colour.
PictureButton::Painter recordPicture(int index)
{
    return [index](QPainter& p) {
        const bool left = index <= 2;
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
        if (index == 1)
            p.drawRect(3, 3, 2, 10);
        if (index == 4)
            p.drawRect(11, 3, 2, 10);
    };
}

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
    shell_ = makeDesktopShell();

    Data1 = new DataControl(this);
    Data1->setObjectName(QStringLiteral("Data1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    buildGrid();
    buildCardPanel();
    buildTopBand();
    IgnoreUnboundAltKeys(this);
    FollowKeyboardFocus(this);
    NameControls();

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

void frmMain::buildTopBand()
{
    Frame1 = make<QWidget>(this, "Frame1", 0, 0, 9480, 2775);
    btnSelRoot = make<QPushButton>(Frame1, "btnSelRoot", 120, 15, 1455, 330, QStringLiteral("ドライブ指定(&D)"));
    btnSelRoot->setToolTip(QStringLiteral("お楽しみCDのﾄﾞﾗｲﾌﾞを選択"));
    Label6 = make<QLabel>(Frame1, "Label6", 1680, 60, 3615, 255, QString::fromUtf8(kDriveLabelUnset));
    KeepToolTipPlain(Label6);
    Label4 = make<QLabel>(Frame1, "Label4", 4440, 0, 4935, 255);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Frame7 = make<Frame>(Frame1, "Frame7", 90, 390, 2925, 525, QStringLiteral("新作(&W)"));
    Frame7->setToolTip(QStringLiteral("新作の検索条件指定"));
    const double newLeft[] = {120, 840, 1470}, newWidth[] = {855, 735, 855};
    const QString newCaption[] = {QStringLiteral("ALL"), QStringLiteral("♪"), QStringLiteral("♪以外")};
    for (int i = 0; i < 3; ++i) {
        optNew[i] = make<QRadioButton>(Frame7, "optNew", newLeft[i], 210, newWidth[i], 255, newCaption[i]);
        optNew[i]->setObjectName(indexedName("optNew", i));
    }
    optNew[0]->setChecked(true);

    Frame6 = make<Frame>(Frame1, "Frame6", 120, 960, 2865, 795, QStringLiteral("ｹﾞｰﾑのﾌﾟﾗｯﾄﾌｫｰﾑ(&P)"));
    // Two whole rows in the list's design height, whatever the font.
    List1 = new ListBox(2, Frame6->inside());
    List1->setObjectName(QStringLiteral("List1"));
    PlaceTwips(List1, 180, 270, 2415, 420);
    List1->setSelectionMode(QAbstractItemView::MultiSelection);

    Frame2 = make<Frame>(Frame1, "Frame2", 3180, 330, 6255, 885, QStringLiteral("検索語(&N)"));
    txtStrGame[0] = make<QLineEdit>(Frame2, "txtStrGame_0", 90, 240, 5175, 270);
    CentreTextLine(txtStrGame[0]);
    optGame[0] = make<QRadioButton>(Frame2, "optGame_0", 5400, 240, 795, 255, QStringLiteral("AND"));
    optGame[1] = make<QRadioButton>(Frame2, "optGame_1", 5400, 480, 615, 255, QStringLiteral("OR"));
    optGame[0]->setChecked(true);
    const double f1Left[] = {120, 1080, 2100, 3000}, f1Width[] = {855, 975, 855, 975};
    const double f2Left[] = {150, 1080, 2100, 3000}, f2Width[] = {855, 945, 825, 1065};
    const QString fieldCaption[] = {QStringLiteral("ゲーム"), QStringLiteral("メーカー"), QStringLiteral("効果"),
                                    QStringLiteral("ファイル")};
    for (int i = 0; i < 4; ++i) {
        chkFind1[i] = make<QCheckBox>(Frame2, "chkFind1", f1Left[i], 570, f1Width[i], 255, fieldCaption[i]);
        chkFind1[i]->setObjectName(indexedName("chkFind1", i));
        chkFind1[i]->setChecked(true);
    }

    Frame3 = make<Frame>(Frame1, "Frame3", 3150, 1320, 6255, 855, QStringLiteral("否定語(&M)"));
    txtStrMaker[0] = make<QLineEdit>(Frame3, "txtStrMaker_0", 120, 240, 5175, 270);
    CentreTextLine(txtStrMaker[0]);
    optMaker[0] = make<QRadioButton>(Frame3, "optMaker_0", 5490, 210, 735, 255, QStringLiteral("AND"));
    optMaker[1] = make<QRadioButton>(Frame3, "optMaker_1", 5490, 480, 735, 255, QStringLiteral("OR"));
    optMaker[0]->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        chkFind2[i] = make<QCheckBox>(Frame3, "chkFind2", f2Left[i], 540, f2Width[i], 255, fieldCaption[i]);
        chkFind2[i]->setObjectName(indexedName("chkFind2", i));
        chkFind2[i]->setChecked(true);
    }

    // The enable checks sit on their frames' top edges, beside the captions.
    Check1[0] = make<QCheckBox>(Frame3, "Check1_0", 1080, -30, 765, 255, QStringLiteral("有効"));
    Check1[1] = make<QCheckBox>(Frame2, "Check1_1", 1080, -30, 765, 255, QStringLiteral("有効"));
    Check1[2] = make<QCheckBox>(Frame6, "Check1_2", 1950, -30, 765, 255, QStringLiteral("有効"));
    for (auto* c : Check1) {
        c->setChecked(true);
        c->setAutoFillBackground(true);
    }

    Command5 = make<QPushButton>(Frame1, "Command5", 120, 1800, 1695, 375, QStringLiteral("検索条件初期化(&I)"));
    Command5->setToolTip(QStringLiteral("検索条件の初期化"));
    Command1 = make<QPushButton>(Frame1, "Command1", 1920, 1800, 975, 375, QStringLiteral("検索(&G)"));
    Command1->setToolTip(QStringLiteral("検索開始"));

    Frame4 = make<Frame>(Frame1, "Frame4", 1350, 2190, 1545, 555, QStringLiteral("レコード(&R)"));
    const double recLeft[] = {0, 150, 465, 780, 1095};
    for (int i = 1; i <= 4; ++i) {
        auto* button = make<PictureButton>(Frame4, "btnRecord", recLeft[i], 180, 315, 315);
        button->setPicture(recordPicture(i));
        btnRecord[i] = button;
        btnRecord[i]->setObjectName(indexedName("btnRecord", i));
        btnRecord[i]->setAutoDefault(true);
        btnRecord[i]->installEventFilter(this);
        connect(btnRecord[i], &QPushButton::clicked, this, [this, i] { btnRecord_Click(i); });
    }

    btnMode = make<QPushButton>(Frame1, "btnMode", 120, 2340, 975, 375, QStringLiteral("カード(&C)"));
    btnMode->setToolTip(QStringLiteral("カード型表示へ"));
    Label3 = make<FittingLabel>(Frame1, "Label3", 2640, 2280, 1575, 255);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label5 = make<FittingLabel>(Frame1, "Label5", 2640, 2520, 1575, 255);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Their boxes reach into the record frame: long counts stay clear of its buttons and line.
    for (auto* l : {Label3, Label5})
        l->setKeptClear(Frame4->geometry().right() + 3 - l->x());
    Label8 = make<QLabel>(Frame1, "Label8", 4500, 2370, 315, 285, QStringLiteral("(&S)"));
    Combo2 = make<QComboBox>(Frame1, "Combo2", 4770, 2310, 975, 300);
    Combo2->setEditable(false);
    Label8->setBuddy(Combo2);
    Command2 = make<QPushButton>(Frame1, "Command2", 6000, 2280, 1095, 375, QStringLiteral("ﾌｫﾙﾀﾞ(&V)"));
    Command2->setToolTip(QStringLiteral("ﾌｫﾙﾀﾞ内容を表示"));
    Command3 = make<QPushButton>(Frame1, "Command3", 7200, 2280, 1095, 375, QStringLiteral("ﾌｧｲﾙ(&U)"));
    Command3->setToolTip(QStringLiteral("ﾌｧｲﾙを開く"));
    Command4 = make<QPushButton>(Frame1, "Command4", 8400, 2280, 975, 375, QStringLiteral("終了(&X)"));
    Command4->setToolTip(QStringLiteral("終了"));

    for (auto* b : {btnSelRoot, Command5, Command1, btnMode, Command2, Command3, Command4})
        b->setAutoDefault(true); // Enter on a focused button presses it
    for (QAbstractButton* b : Frame1->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b)) {
            b->setStyle(DesignButtonStyle::instance());
            FitCaption(b);
        }
    }

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll2 = new QScrollBar(Qt::Horizontal, this);
    HScroll2->setObjectName(QStringLiteral("HScroll2"));
    VScroll2 = new QScrollBar(Qt::Vertical, this);
    VScroll2->setObjectName(QStringLiteral("VScroll2"));
    for (auto* s : {HScroll1, HScroll2, VScroll2}) {
        s->setTracking(false); // the panel moves when the value is committed, not while dragging
        s->setSingleStep(8);
        s->hide();
    }
    PlaceTwips(HScroll1, 0, 0, 0, 255);
    PlaceTwips(HScroll2, 0, 0, 0, 255);
    PlaceTwips(VScroll2, 0, 0, 255, 0);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmMain::HScroll1_Change);
    connect(HScroll2, &QScrollBar::valueChanged, this, &frmMain::HScroll2_Change);
    connect(VScroll2, &QScrollBar::valueChanged, this, &frmMain::VScroll2_Change);

    connect(btnSelRoot, &QPushButton::clicked, this, &frmMain::btnSelRoot_Click);
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, [this] { close(); });
    connect(btnMode, &QPushButton::clicked, this, &frmMain::btnMode_Click);
    connect(Combo2, &QComboBox::activated, this, [this](int) { Combo2_Click(); });

    Frame10 = make<QWidget>(this, "Frame10", 0, 2760, 9495, 3495);
    Label7 = make<QLabel>(Frame10, "Label7", 0, 0, 9495, 3495, QStringLiteral("データベースファイル読み込み中・・・"));
    Label7->setAlignment(Qt::AlignCenter);
    Frame10->setAutoFillBackground(true);

    // Focus order: the top band, the card's boxes, the grid, then the CD number and date boxes.
    QList<QWidget*> order = {
        btnSelRoot,   optNew[0],    optNew[1],    optNew[2],    Check1[2],   List1,       Check1[1], txtStrGame[0],
        optGame[0],   optGame[1],   chkFind1[0],  chkFind1[1],  chkFind1[2], chkFind1[3], Check1[0], txtStrMaker[0],
        optMaker[0],  optMaker[1],  chkFind2[0],  chkFind2[1],  chkFind2[2], chkFind2[3], Command5,  Command1,
        btnRecord[1], btnRecord[2], btnRecord[3], btnRecord[4], btnMode,     Combo2,      Command2,  Command3,
        Command4,     txtNew,       txtSS,        txtWindows,   txtF_S,      txtGame,     txtMaker,  txtFile,
        txtCopyright, txtEffect,    DBGrid1,      txtNo,        txtCDDate};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // A captioned frame stands in that order before its text box, list or buttons (after the enable
    // check on its edge): its access key goes there, not to the control of the frame focused last.
    Frame7->setNextInTabOrder(optNew[0]);
    Frame6->setNextInTabOrder(List1);
    Frame2->setNextInTabOrder(txtStrGame[0]);
    Frame3->setNextInTabOrder(txtStrMaker[0]);
    Frame4->setNextInTabOrder(btnRecord[1]);
    Frame1->raise();
}

void frmMain::buildCardPanel()
{
    Frame8 = make<QWidget>(this, "Frame8", 0, 2775, 9480, 3450);
    Frame8->hide();
    Frame5 = make<QWidget>(Frame8, "Frame5", 0, 0, 9480, 3450);

    auto line = [this](const char* name, double l, double t, double w, double h) {
        auto* e = make<QLineEdit>(Frame5, name, l, t, w, h);
        e->setReadOnly(true);
        CentreTextLine(e);
        e->installEventFilter(this);
        return e;
    };
    auto multi = [this](const char* name, double l, double t, double w, double h) {
        auto* e = make<QPlainTextEdit>(Frame5, name, l, t, w, h);
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

    struct Caption {
        const char* text;
        double l, t, w;
        bool centred;
    };
    const Caption captions[] = {{"新作", 120, 120, 495, true},      {"プラットホーム", 690, 120, 1215, true},
                                {"動作OS", 1950, 120, 735, true},   {"F/S", 3030, 120, 495, true},
                                {"ゲーム名", 120, 840, 975, false}, {"メーカー名", 120, 1440, 975, false},
                                {"効果", 120, 1800, 975, false},    {"ファイル名", 6000, 840, 855, false},
                                {"著作", 6000, 1200, 735, false},   {"収録CD", 120, 2220, 975, false},
                                {"CD発売日", 120, 2820, 975, false}};
    for (const auto& c : captions) {
        auto* l = make<QLabel>(Frame5, "cardCaption", c.l, c.t, c.w, 255, QString::fromUtf8(c.text));
        l->setAlignment((c.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        FitCaption(l);
    }
    lblFolder = make<QLabel>(Frame5, "lblFolder", 6600, 1560, 1935, 255);
    lblFolder->hide();
}

void frmMain::buildGrid()
{
    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(Data1);
    // Only the eleven list columns raise the header click; an extra field's column does not sort.
    connect(DBGrid1, &DBGrid::HeadClick, this, [this](int c) {
        if (c <= 10)
            DBGrid1_HeadClick(c);
    });
    connect(DBGrid1, &DBGrid::RowColChange, this, &frmMain::ShowRecordPosition);
}

// --- Start-up ------------------------------------------------------------------------------------

void frmMain::Form_Load()
{
    appFolder = AppFolderFrom(env_.exeFolder.toStdString());
    screenCheck = kScreenCheckNone;
    if (!env_.commandLine.isEmpty())
        screenCheck = ScanSwitches(env_.commandLine.toStdString());
    suppressVolumeClick = true;
    module.waitJob = 0;

    driveRootPath = RegReadString(RegRoot::CurrentUser, kRegKeyPath, kRegSelPath);
    driveRoot = driveRootPath;
    if (!driveRoot.empty())
        ShowDriveLabel();

    Label4->setText(QString::fromStdString(
        VersionCaption(ORVANTIS_VERSION_MAJOR, ORVANTIS_VERSION_MINOR, ORVANTIS_VERSION_PATCH, ORVANTIS_COPYRIGHT)));
    module.queryText = "SELECT * FROM ;";
    std::copy(schema::kDefaultColumnWidths.begin(), schema::kDefaultColumnWidths.end(), module.columnWidths.begin());
    Combo2->clear();
    // Beside the program when a catalogue lies there (TEVO.INI and TEVOX20.MDB as copied from a
    // CD count too), else the user's and the system's folders of an installed program.
    const FileLocations files = LocateFiles(appFolder, env_.xdg);
    settingsPath = files.settings;
    cataloguePath = files.catalogue;
    suppressVolumeClick = false;
    module.listsPending = 1;
    openCatalogueKey.clear();
    Combo2->addItem(QStringLiteral("ALL"));
    Combo2->setCurrentIndex(-1);

    RestoreSearchConditions();

    CountMonitors();
    LimitMonitorCount(module.census, screenCheck);
}

void frmMain::RestoreSearchConditions()
{
    // The one reading of the settings file in a run; the first activation takes its values too.
    savedSettings_ = SavedSettings::Read(settingsPath);
    const SearchSettings v = LoadSearchSettings(savedSettings_);
    optNew[static_cast<std::size_t>(v.newMark)]->setChecked(true);
    setCheckValue(Check1[2], v.platformCheck);
    module.platformSelection = v.platforms;
    setCheckValue(Check1[1], v.keywordCheck);
    for (int i = 0; i < 4; ++i)
        setCheckValue(chkFind1[i], v.keywordFields[static_cast<std::size_t>(i)]);
    txtStrGame[0]->setText(QString::fromStdString(v.keywordText));
    optGame[v.keywordAnd ? 0 : 1]->setChecked(true);
    setCheckValue(Check1[0], v.negativeCheck);
    for (int i = 0; i < 4; ++i)
        setCheckValue(chkFind2[i], v.negativeFields[static_cast<std::size_t>(i)]);
    txtStrMaker[0]->setText(QString::fromStdString(v.negativeText));
    appliedSettings_.mark(SettingGroup::Search);
}

void frmMain::CountMonitors()
{
    auto& c = module.census;
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

void frmMain::ShowDriveLabel()
{
    const DriveLabelText t = DriveLabelFor(driveRoot);
    Label6->setToolTip(QString::fromStdString(t.toolTip));
    Label6->setText(QString::fromStdString(t.caption));
    driveRootPath = t.driveRootPath;
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

void frmMain::SetCaption(const QString& caption) { setWindowTitle(caption); }

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
    return PlaceWindow(saved, module.census, TwipsPerPixelX(), TwipsPerPixelY());
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
    if (activated && !activating_ && placementAnswered_)
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
        if (!activated)
            QTimer::singleShot(0, this, [this] { Form_Activate(); });
        break;
    case QEvent::WindowDeactivate:
        // A press never outlives the window's focus.
        Timer1->stop();
        break;
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
    if (activated || placing_ || ended_ || !isVisible())
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
    activated = true;
    Frame8->hide();
    DBGrid1->hide();
    RepaintNow(this);
    Frame8->move(Frame8->x(), DBGrid1->y());
    ArrangeViews();

    SetCombo2Text(QStringLiteral("ALL"));
    if (ended_)
        return;
    endPlacement();
    if (catalogueOpenFailed) {
        MsgBox(this, QStringLiteral("データベースファイルが開けません。\r\nプログラムを終了します。"));
        close();
        return;
    }
    module.waitJob = 1;
    const ViewSettings view = LoadViewSettings(savedSettings_);
    for (int i = 0; i < kSavedColumnCount; ++i)
        if (const auto& w = view.columnWidths[static_cast<std::size_t>(i)])
            DBGrid1->setColumnWidth(i, *w);
    appliedSettings_.mark(SettingGroup::ColumnWidths);
    if (view.mode && *view.mode != btnModeTag.toLong())
        btnMode_Click();
    appliedSettings_.mark(SettingGroup::ViewMode);
    // The active window, whatever the wait dialogs did with the focus: access keys work from the
    // first key on.
    TakeKeyboardFocus(this);
    txtStrGame[0]->setFocus();
}

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
    const SearchConditions c = ReadConditions();
    SearchSettings search;
    search.newMark = c.newMark;
    search.platformCheck = c.platformCheck;
    search.platforms = JoinPlatforms(c.selectedPlatforms);
    search.keywordCheck = c.keywordCheck;
    search.keywordFields = c.keywordFields;
    search.keywordText = c.keywordText;
    search.keywordAnd = c.keywordAnd;
    search.negativeCheck = c.negativeCheck;
    search.negativeFields = c.negativeFields;
    search.negativeText = c.negativeText;
    StoreSearchSettings(search, now);
    // The saved choice reaches the platform list when the list is filled; an empty list (no
    // catalogue) offered nothing to choose, and the saved choice stays.
    if (List1->count() > 0)
        appliedSettings_.mark(SettingGroup::Platforms);
    ViewSettings view;
    view.mode = btnModeTag.toLong();
    for (int i = 0; i < kSavedColumnCount; ++i)
        view.columnWidths[static_cast<std::size_t>(i)] = DBGrid1->columnWidth(i);
    StoreViewSettings(view, now);
    const int state = WindowState();
    now.setWhole(K::WinState, state);
    if (state == 0) {
        const SavedRect r = RectToSave();
        now.setSingle(K::Top, r.top);
        now.setSingle(K::Left, r.left);
        now.setSingle(K::Width, r.width);
        now.setSingle(K::Height, r.height);
    }
    SaveSettings(settingsPath, now, appliedSettings_);
}

void frmMain::Form_Unload()
{
    Timer1->stop();
    // An installed program's settings folder does not exist before its first shut-down.
    MakeFolderFor(settingsPath);
    CommitComposition();
    writeSettings();
    ended_ = true;
    SetMousePointer(0);
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
    if (modal || (isVisible() && (!activated || activating_))) {
        QTimer::singleShot(kCloseRetryMs, this, &frmMain::RequestClose);
        return;
    }
    close();
}

} // namespace orv
