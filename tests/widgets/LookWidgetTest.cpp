// How the window draws into the design's rectangles: frame captions on the border line, the
// platform list's two rows, captions that fit their boxes, text lines in the middle of their
// boxes, tool tips, and the toolkit's own texts in Japanese.
#include "app/widgets/Appearance.h"
#include "platform/settings/UserStore.h"
#include "platform/widgets/Controls.h"
#include "widgets/WidgetHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <optional>

using namespace orvtest;

namespace {

class Look : public StartedWindow {
protected:
    void TearDown() override
    {
        QToolTip::hideText();
        clearStoredDrive();
    }
    std::vector<orv::Frame*> frames()
    {
        return {ctl<orv::Frame>(w(), "Frame7"), ctl<orv::Frame>(w(), "Frame6"), ctl<orv::Frame>(w(), "Frame2"),
                ctl<orv::Frame>(w(), "Frame3"), ctl<orv::Frame>(w(), "Frame4")};
    }
};

// The rows of a widget's picture, inside its 1-pixel frame, that hold dark (text) pixels.
struct InkRows {
    int first = -1, last = -1;
};

InkRows inkRows(QWidget* box)
{
    const QImage img = box->grab().toImage();
    InkRows r;
    for (int y = 1; y < img.height() - 1; ++y) {
        for (int x = 1; x < img.width() - 1; ++x) {
            if (qGray(img.pixel(x, y)) < 110) {
                if (r.first < 0)
                    r.first = y;
                r.last = y;
                break;
            }
        }
    }
    return r;
}

QString withoutMarker(QString s) { return s.remove(QLatin1Char('&')); }

} // namespace

// --- Frames --------------------------------------------------------------------------------------

TEST_F(Look, FrameCaptionsLieOnTheBorderInsideTheFrameAndClearOfTheContents)
{
    for (orv::Frame* f : frames()) {
        SCOPED_TRACE(f->objectName().toStdString());
        const QRect caption = f->captionRect();
        ASSERT_FALSE(caption.isEmpty());
        EXPECT_TRUE(f->rect().contains(caption)) << "inside the frame's own rectangle";
        EXPECT_EQ(caption.top(), 0);
        EXPECT_GE(caption.width(), QFontMetrics(f->font()).horizontalAdvance(withoutMarker(f->title())));
        EXPECT_GT(f->borderTop(), caption.top());
        EXPECT_LT(f->borderTop(), caption.bottom()) << "the border line runs through the caption";
        EXPECT_EQ(f->contentsRect(), f->rect()) << "no title band above the contents";
        EXPECT_EQ(f->findChildren<QWidget*>(Qt::FindDirectChildrenOnly), QList<QWidget*>{f->inside()})
            << "the controls lie inside";
        EXPECT_EQ(f->inside()->geometry(), f->rect());
        for (QWidget* child : f->inside()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow())
                continue;
            EXPECT_FALSE(child->geometry().intersects(caption))
                << child->objectName().toStdString() << " covers the caption";
        }
    }
}

TEST_F(Look, FrameContentsArePlacedFromTheFramesCorner)
{
    // Twips from the design, relative to the frame's top-left corner.
    EXPECT_EQ(ctl<QRadioButton>(w(), "optNew_0")->pos(), QPoint(orv::TwipsToPxX(120), orv::TwipsToPxY(210)));
    EXPECT_EQ(ctl<orv::ListBox>(w(), "List1")->pos(), QPoint(orv::TwipsToPxX(180), orv::TwipsToPxY(270)));
    EXPECT_EQ(ctl<QPushButton>(w(), "btnRecord_1")->pos(), QPoint(orv::TwipsToPxX(150), orv::TwipsToPxY(180)));
    EXPECT_EQ(ctl<QCheckBox>(w(), "Check1_1")->pos(), QPoint(orv::TwipsToPxX(1080), orv::TwipsToPxY(-30)));
    EXPECT_EQ(ctl<orv::Frame>(w(), "Frame4")->mapTo(ctl<QWidget>(w(), "Frame1"), QPoint(0, 0)),
              QPoint(orv::TwipsToPxX(1350), orv::TwipsToPxY(2190)));
}

TEST_F(Look, FrameCaptionIsDrawnWithItsAccessKeyUnderlined)
{
    // "レコード(&R)": the record buttons sit right under the caption
    orv::Frame* f = ctl<orv::Frame>(w(), "Frame4");
    const QImage img = f->grab().toImage();
    const QRect caption = f->captionRect();
    auto darkIn = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(img.pixel(x, y)) < 110;
        return n;
    };
    EXPECT_GT(darkIn(caption), caption.width()) << "the caption's characters";
    // The underline: a dark run on the caption's last row under the "R".
    const QFontMetrics fm(f->font());
    const int rLeft = caption.left() + 2 + fm.horizontalAdvance(QStringLiteral("レコード("));
    const QRect underline(rLeft, caption.bottom(), fm.horizontalAdvance(QLatin1Char('R')) - 1, 1);
    EXPECT_GE(darkIn(underline), underline.width() - 1);
    // The frame's top line is drawn beside the caption, and not behind it.
    const QRgb background = f->palette().color(QPalette::Window).rgb();
    auto lineIn = [&](int from, int to) {
        int n = 0;
        for (int x = from; x <= to; ++x)
            n += img.pixel(x, f->borderTop()) != background;
        return n;
    };
    EXPECT_EQ(lineIn(caption.right() + 1, f->width() - 3), f->width() - 3 - caption.right());
    EXPECT_EQ(lineIn(1, caption.left() - 1), caption.left() - 1);
    EXPECT_EQ(lineIn(caption.left(), caption.left() + 1), 0) << "the line stops before the caption";
}

TEST_F(Look, AccessKeysOfFramesGoToTheControlAfterTheFrame)
{
    w().activateWindow();
    ASSERT_TRUE(waitFor([&] { return w().isActiveWindow(); }, 2000));
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier); };
    ctl<QRadioButton>(w(), "optNew_2")->setChecked(true);
    ctl<QLineEdit>(w(), "txtStrGame_0")->setFocus();
    // Alt+W: the frame's chosen option button, where Tab enters the group.
    press(Qt::Key_W);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QRadioButton>(w(), "optNew_2"));
    // Alt+P: the platform list, past the enable check on the frame's edge.
    press(Qt::Key_P);
    EXPECT_EQ(QApplication::focusWidget(), ctl<orv::ListBox>(w(), "List1"));
    // Alt+M and Alt+N: the text boxes, whichever control of the frame had the focus last.
    ctl<QRadioButton>(w(), "optMaker_1")->setChecked(true);
    ctl<QRadioButton>(w(), "optMaker_1")->setFocus();
    ctl<QRadioButton>(w(), "optGame_0")->setFocus();
    press(Qt::Key_M);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QLineEdit>(w(), "txtStrMaker_0"));
    press(Qt::Key_N);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QLineEdit>(w(), "txtStrGame_0"));
    // Alt+R: the first record button.
    ctl<QPushButton>(w(), "btnRecord_3")->setFocus();
    press(Qt::Key_R);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QPushButton>(w(), "btnRecord_1"));
    // Alt+S: the label's volume selector.
    press(Qt::Key_S);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QComboBox>(w(), "Combo2"));
    // A control Tab cannot reach is passed over, as Tab passes it: the next one in the order.
    ctl<orv::ListBox>(w(), "List1")->setEnabled(false);
    press(Qt::Key_P);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QCheckBox>(w(), "Check1_1"));
    ctl<orv::ListBox>(w(), "List1")->setEnabled(true);
}

TEST_F(Look, AnAltLetterOfNoCaptionTypesNothing)
{
    QLineEdit* box = ctl<QLineEdit>(w(), "txtStrGame_0");
    box->setFocus();
    box->setText(QStringLiteral("ab"));
    // In list view no caption has L (一覧(&L) is the card view's), none has J or Q.
    for (Qt::Key key : {Qt::Key_L, Qt::Key_J, Qt::Key_Q})
        QTest::keyClick(box, key, Qt::AltModifier);
    QTest::keyClick(box, Qt::Key_L, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(box->text(), QStringLiteral("ab"));
    // Typing goes on as before; AltGr (Ctrl+Alt where the window system reports it so) types.
    QTest::keyClicks(box, QStringLiteral("c"));
    QTest::keyClick(box, Qt::Key_At, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(box->text(), QStringLiteral("abc@"));
}

// --- Themes ---------------------------------------------------------------------------------------

TEST_F(Look, RecordPicturesTakeTheButtonTextColourAndFollowThePalette)
{
    // The colour of a picture's solid pixels.
    auto ink = [](QPushButton* b) {
        const QImage img = b->icon().pixmap(QSize(16, 16)).toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qAlpha(img.pixel(x, y)) == 255)
                    return QColor(img.pixel(x, y));
        return QColor();
    };
    for (int i = 1; i <= 4; ++i) {
        auto* b = ctl<QPushButton>(w(), "btnRecord", i);
        EXPECT_EQ(ink(b), b->palette().color(QPalette::ButtonText)) << i;
    }
    // A dark theme: light triangles on dark buttons.
    QPalette dark = w().palette();
    dark.setColor(QPalette::Button, QColor(0x30, 0x2f, 0x2e));
    dark.setColor(QPalette::ButtonText, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Window, QColor(0x42, 0x42, 0x45));
    dark.setColor(QPalette::WindowText, Qt::white);
    w().setPalette(dark);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(ink(ctl<QPushButton>(w(), "btnRecord", i)), QColor(0xf0, 0xf0, 0xf0)) << i;
    // The theme's palette arriving for the whole application while the window is up.
    w().setPalette(QPalette());
    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    dark.setColor(QPalette::ButtonText, QColor(0xe0, 0xe4, 0xe8));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(ink(ctl<QPushButton>(w(), "btnRecord", i)), QColor(0xe0, 0xe4, 0xe8)) << i;
}

TEST_F(Look, TheDesignFontStaysWhenTheApplicationFontChanges)
{
    // A platform theme setting its own application font once the window is up.
    const QFont before = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(before); });
    QFont theme(QStringLiteral("DejaVu Sans"));
    theme.setPointSize(14);
    theme.setBold(true);
    QApplication::setFont(theme);
    QCoreApplication::processEvents();
    EXPECT_EQ(w().font(), orv::DesignFont());
    QList<QWidget*> captions;
    for (QWidget* c : ctl<QWidget>(w(), "Frame1")->findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QLabel*>(c) || qobject_cast<QLineEdit*>(c))
            captions << c;
    for (QLabel* l : ctl<QWidget>(w(), "Frame5")->findChildren<QLabel*>())
        captions << l;
    ASSERT_GE(captions.size(), 40);
    for (QWidget* c : captions) {
        SCOPED_TRACE(c->objectName().toStdString());
        EXPECT_EQ(c->font().pixelSize(), 12);
        EXPECT_EQ(c->font().weight(), QFont::Normal);
        EXPECT_EQ(c->font().family(), orv::DesignFont().family());
        if (qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c)) {
            EXPECT_LE(orv::CaptionWidth(c), orv::CaptionSpace(c) + 0.5);
        }
    }
}

// --- Platform list ---------------------------------------------------------------------------------

TEST_F(Look, PlatformListShowsTwoWholeRowsAtItsDesignHeight)
{
    orv::ListBox* list = ctl<orv::ListBox>(w(), "List1");
    ASSERT_EQ(list->height(), orv::TwipsToPxY(420));
    ASSERT_GE(list->count(), 3);
    const QRect view = list->viewport()->rect();
    const QRect first = list->visualItemRect(list->item(0));
    const QRect second = list->visualItemRect(list->item(1));
    EXPECT_TRUE(view.contains(first));
    EXPECT_TRUE(view.contains(second));
    EXPECT_EQ(first.height(), second.height());
    EXPECT_GE(2 * first.height(), view.height() - 1) << "no blank band under the two rows";
    EXPECT_FALSE(view.intersects(list->visualItemRect(list->item(2)))) << "the third row is scrolled to";
    // The characters fit a row.
    const QRectF ink = QFontMetricsF(list->font()).tightBoundingRect(QStringLiteral("国GB"));
    EXPECT_LE(ink.height(), first.height());
}

TEST_F(Look, EmptyPlatformIsASelectableLineOfNormalHeight)
{
    orv::ListBox* list = ctl<orv::ListBox>(w(), "List1");
    ASSERT_EQ(list->item(0)->text(), QString()) << "the fixture has entries without a platform";
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), list->visualItemRect(list->item(1)).height());
    list->clearSelection();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(h->selectedPlatforms(), QStringList{QString()});
}

// --- Captions and text boxes -----------------------------------------------------------------------

TEST_F(Look, EveryCaptionFitsItsBox)
{
    QList<QWidget*> captions;
    for (QWidget* c : ctl<QWidget>(w(), "Frame1")->findChildren<QWidget*>())
        if (qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c))
            captions << c;
    for (QLabel* l : ctl<QWidget>(w(), "Frame5")->findChildren<QLabel*>())
        if (l != ctl<QLabel>(w(), "lblFolder"))
            captions << l;
    captions << ctl<QLabel>(w(), "Label8");
    ASSERT_GE(captions.size(), 30);
    for (QWidget* c : captions)
        EXPECT_LE(orv::CaptionWidth(c), orv::CaptionSpace(c) + 0.5) << c->objectName().toStdString();

    for (QPushButton* b : ctl<QWidget>(w(), "Frame1")->findChildren<QPushButton*>()) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.rect = b->rect();
        const QRect contents = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(withoutMarker(b->text())), contents.width())
            << b->objectName().toStdString();
    }
}

TEST_F(Look, FittingNarrowsOnlyWhatIsTooWide)
{
    QWidget parent;
    QLabel wide(QStringLiteral("プラットホームプラ"), &parent); // 9 characters
    wide.setGeometry(0, 0, 9 * QFontMetrics(wide.font()).horizontalAdvance(QStringLiteral("国")) - 6, 17);
    QLabel roomy(QStringLiteral("著作"), &parent);
    roomy.setGeometry(0, 0, 150, 17);
    orv::FitCaption(&wide);
    orv::FitCaption(&roomy);
    EXPECT_LT(wide.font().letterSpacing(), 0);
    EXPECT_LE(orv::CaptionWidth(&wide), orv::CaptionSpace(&wide) + 0.5);
    EXPECT_EQ(roomy.font().letterSpacing(), 0);
    // Never squeezed by more than a pixel a character: what is far too long stays too long.
    QLabel hopeless(QStringLiteral("プラットホームプラットホーム"), &parent);
    hopeless.setGeometry(0, 0, 40, 17);
    orv::FitCaption(&hopeless);
    EXPECT_GE(hopeless.font().letterSpacing(), -1.0);
}

TEST_F(Look, OneLineBoxesShowTheirTextInTheMiddle)
{
    ctl<QPushButton>(w(), "btnMode")->click(); // card view
    ctl<QPushButton>(w(), "btnMode")->setFocus(); // a focused box's caret is no text
    const QString text = QStringLiteral("ソフトハウス雪月");
    ctl<QPlainTextEdit>(w(), "txtMaker")->setPlainText(text);
    ctl<QLineEdit>(w(), "txtSS")->setText(text);
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(text);
    QCoreApplication::processEvents();
    for (QWidget* box : {static_cast<QWidget*>(ctl<QPlainTextEdit>(w(), "txtMaker")),
                         static_cast<QWidget*>(ctl<QLineEdit>(w(), "txtSS")),
                         static_cast<QWidget*>(ctl<QLineEdit>(w(), "txtStrGame_0"))}) {
        SCOPED_TRACE(box->objectName().toStdString());
        ASSERT_EQ(box->height(), orv::TwipsToPxY(270));
        const InkRows ink = inkRows(box);
        ASSERT_GE(ink.first, 0) << "no text drawn";
        const int above = ink.first - 1, below = box->height() - 2 - ink.last;
        EXPECT_GE(below, 1) << "the text touches the bottom edge";
        EXPECT_LE(std::abs(above - below), 2) << above << " pixels above, " << below << " below";
    }
    // The multi-line box's first line stands where the single-line boxes' line does.
    EXPECT_LE(
        std::abs(inkRows(ctl<QPlainTextEdit>(w(), "txtMaker")).first - inkRows(ctl<QLineEdit>(w(), "txtSS")).first), 1);
}

// --- Tool tips ------------------------------------------------------------------------------------

TEST_F(Look, DesignToolTipsShowOnHelpEvents)
{
    auto tipOn = [](QWidget* target) -> QString {
        QToolTip::hideText();
        waitFor([] { return !QToolTip::isVisible(); }, 2000);
        const QPoint at = target->rect().center();
        QHelpEvent e(QEvent::ToolTip, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &e);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipOn(ctl<QPushButton>(w(), "btnMode")), QStringLiteral("カード型表示へ"));
    ctl<QPushButton>(w(), "btnMode")->click();
    EXPECT_EQ(tipOn(ctl<QPushButton>(w(), "btnMode")), QStringLiteral("一覧型表示へ"));
    EXPECT_EQ(tipOn(ctl<QPushButton>(w(), "btnSelRoot")), QStringLiteral("お楽しみCDのﾄﾞﾗｲﾌﾞを選択"));
    // The new-mark frame's tip, also over its option buttons.
    EXPECT_EQ(tipOn(ctl<QRadioButton>(w(), "optNew_1")), QStringLiteral("新作の検索条件指定"));
    // No drive chosen: the drive label has no tip.
    EXPECT_EQ(tipOn(ctl<QLabel>(w(), "Label6")), QString());
}

TEST_F(Look, DriveLabelTipShowsTheWholeDriveAsText)
{
    stop();
    const std::string root = "/media/<b>cdrom</b>/bonus/volume-twelve";
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, root);
    h = &start();
    QToolTip::hideText();
    waitFor([] { return !QToolTip::isVisible(); }, 2000);
    const QPoint at = ctl<QLabel>(w(), "Label6")->rect().center();
    QHelpEvent e(QEvent::ToolTip, at, ctl<QLabel>(w(), "Label6")->mapToGlobal(at));
    QApplication::sendEvent(ctl<QLabel>(w(), "Label6"), &e);
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("/media/&lt;b&gt;cdrom&lt;/b&gt;/bonus/volume-twelve")))
        << QToolTip::text().toStdString();
}

TEST_F(Look, ToolTipsShowOnHoverWhileAnotherWindowHasTheFocus)
{
    QWidget other;
    other.setGeometry(w().geometry().right() + 50, 0, 100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }, 2000));
    QToolTip::hideText();
    waitFor([] { return !QToolTip::isVisible(); }, 2000);
    const QPoint at = ctl<QPushButton>(w(), "btnMode")->rect().center();
    QTest::mouseMove(ctl<QPushButton>(w(), "btnMode"), at - QPoint(3, 0));
    QTest::mouseMove(ctl<QPushButton>(w(), "btnMode"), at);
    EXPECT_TRUE(waitFor([] { return QToolTip::isVisible(); }, 3000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("カード型表示へ"));
}

// --- The toolkit's own texts -------------------------------------------------------------------------

TEST_F(Look, ToolkitTextsAreJapanese)
{
    std::unique_ptr<QMenu> menu(ctl<QLineEdit>(w(), "txtStrGame_0")->createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    EXPECT_TRUE(texts.join(QLatin1Char('|')).contains(QStringLiteral("コピー")))
        << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("&Copy")));

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(withoutMarker(buttons.button(QDialogButtonBox::Cancel)->text()).left(5), QStringLiteral("キャンセル"));
}

// --- Position and total --------------------------------------------------------------------------

TEST_F(Look, BigCountsStayClearOfTheRecordButtonsAndTheFrameLine)
{
    QWidget* band = ctl<QWidget>(w(), "Frame1");
    auto* position = ctl<orv::FittingLabel>(w(), "Label3");
    auto* total = ctl<orv::FittingLabel>(w(), "Label5");
    const QRect frame = ctl<orv::Frame>(w(), "Frame4")->geometry();
    // Where the labels' boxes reach into the record frame: its last button, its line and two
    // pixels beyond.
    const QRect shared(position->x(), position->y(), frame.right() + 3 - position->x(),
                       total->geometry().bottom() + 1 - position->y());
    ASSERT_TRUE(frame.intersects(shared));
    ASSERT_TRUE(ctl<QPushButton>(w(), "btnRecord", 4)->geometry().translated(frame.topLeft()).intersects(shared));
    position->setText(QString());
    total->setText(QString());
    const QImage untouched = band->grab(shared).toImage();
    for (const QString& n :
         {QStringLiteral("80"), QStringLiteral("50000"), QStringLiteral("150000"), QStringLiteral("1500000")}) {
        SCOPED_TRACE(n.toStdString());
        position->setText(n + QLatin1Char('/') + n);
        total->setText(QStringLiteral("全ﾚｺｰﾄﾞ数：") + n);
        EXPECT_EQ(band->grab(shared).toImage(), untouched) << "drawn over the buttons or the frame line";
        for (orv::FittingLabel* l : {position, total}) {
            EXPECT_GE(l->narrowing(), 0.75) << "too narrow to read";
            // The whole text is drawn: its ink reaches from where the narrowed text begins to
            // the right edge.
            const QImage img = l->grab().toImage();
            const qreal ratio = img.devicePixelRatio(); // a scaled screen's picture has more pixels
            qreal first = -1, last = -1;
            for (int x = 0; x < img.width(); ++x)
                for (int y = 0; y < img.height(); ++y)
                    if (qGray(img.pixel(x, y)) < 110) {
                        if (first < 0)
                            first = x / ratio;
                        last = x / ratio;
                        break;
                    }
            const qreal width = std::ceil(QFontMetricsF(l->font()).horizontalAdvance(l->text())) * l->narrowing();
            EXPECT_NEAR(first, l->textArea().right() + 1 - width, 3);
            EXPECT_GE(last, l->textArea().right() - 3);
        }
    }
}
