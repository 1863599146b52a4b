#include "platform/widgets/Controls.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

// Where the caption starts and how much of the border line is left open on each side of it.
constexpr int kCaptionLeft = 6;
constexpr int kCaptionPad = 2;

// The ink of a Japanese line, relative to the baseline: the ideographs' box. Captions and values
// mix ideographs, kana and Latin capitals; all of them lie within it.
struct Ink {
    qreal top, bottom; // top < 0 above the baseline
    qreal height() const { return bottom - top; }
};

Ink inkOf(const QFont& f)
{
    const QRectF r = QFontMetricsF(f).tightBoundingRect(QStringLiteral("国語"));
    if (r.isEmpty()) { // no glyph for them at all: the font's own ascent and descent
        const QFontMetricsF fm(f);
        return {-fm.ascent(), fm.descent()};
    }
    return {r.top(), r.bottom()};
}

struct Caption {
    QString text; // without the access-key marker
    int mnemonic = -1; // index in text of the access-key character
};

Caption parseCaption(const QString& title)
{
    Caption c;
    for (int i = 0; i < title.size(); ++i) {
        if (title[i] == QLatin1Char('&') && i + 1 < title.size()) {
            ++i;
            if (title[i] != QLatin1Char('&') && c.mnemonic < 0)
                c.mnemonic = static_cast<int>(c.text.size());
        }
        c.text += title[i];
    }
    return c;
}

// The caption box is as high as the characters' ink, with the baseline placed so that the ink
// fills it; the access-key underline goes on its last row, under the baseline of Latin letters.
struct CaptionMetrics {
    int height;
    int baseline;
};

CaptionMetrics captionMetrics(const QFont& f)
{
    const Ink ink = inkOf(f);
    const int baseline = static_cast<int>(std::floor(-ink.top));
    const int height = std::max(1, baseline + static_cast<int>(std::ceil(ink.bottom)));
    return {height, baseline};
}

class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(const ListBox* list) : QStyledItemDelegate(const_cast<ListBox*>(list)), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), list_->rowHeight()};
    }

private:
    const ListBox* list_;
};

} // namespace

// --- Frame -------------------------------------------------------------------------------------

Frame::Frame(QWidget* parent) : QGroupBox(parent), inside_(new QWidget(this))
{
    setContentsMargins(0, 0, 0, 0);
    inside_->setObjectName(QStringLiteral("inside"));
}

namespace {
bool reachedByTab(const QWidget* w)
{
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isVisible() && w->isEnabled();
}
} // namespace

QWidget* Frame::accessKeyTarget() const
{
    if (!next_)
        return nullptr;
    QWidget* w = next_;
    while (!reachedByTab(w)) {
        w = w->nextInFocusChain();
        if (w == next_)
            return nullptr;
    }
    // Tab enters a group of option buttons at the chosen one.
    if (auto* option = qobject_cast<QRadioButton*>(w); option && option->autoExclusive() && !option->isChecked())
        for (QRadioButton* sibling : option->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
            if (sibling->isChecked() && sibling->autoExclusive() && reachedByTab(sibling))
                return sibling;
    return w;
}

bool Frame::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut && next_) {
        if (QWidget* target = accessKeyTarget())
            target->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    if (e->type() == QEvent::Resize)
        inside_->setGeometry(rect());
    const bool handled = QGroupBox::event(e);
    // The group box reserves a title band above its contents whenever its title, font or style
    // changes; here the contents start at the top-left corner.
    if (contentsMargins() != QMargins())
        setContentsMargins(0, 0, 0, 0);
    return handled;
}

QRect Frame::captionRect() const
{
    const Caption c = parseCaption(title());
    if (c.text.isEmpty())
        return {};
    const CaptionMetrics m = captionMetrics(font());
    const int width = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(c.text)));
    return {kCaptionLeft, 0, width + 2 * kCaptionPad, m.height};
}

int Frame::borderTop() const
{
    const QRect caption = captionRect();
    if (caption.isEmpty())
        return 0;
    return caption.top() + caption.height() / 2;
}

void Frame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect caption = captionRect();
    // An etched border, as the window system's frames have; the caption interrupts its top line.
    if (!caption.isEmpty()) {
        QRegion clip(rect());
        clip -= QRegion(caption);
        p.setClipRegion(clip);
    }
    qDrawShadeRect(&p, rect().adjusted(0, borderTop(), 0, 0), palette(), true, 1, 0, nullptr);
    if (caption.isEmpty())
        return;
    p.setClipping(false);

    const Caption c = parseCaption(title());
    const CaptionMetrics m = captionMetrics(font());
    const QPointF origin(caption.left() + kCaptionPad, caption.top() + m.baseline);
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(origin, c.text);
    if (c.mnemonic >= 0) {
        // The access key is always underlined, on the caption box's last row.
        const QFontMetricsF fm(font());
        const qreal x0 = origin.x() + fm.horizontalAdvance(c.text.left(c.mnemonic));
        const qreal x1 = origin.x() + fm.horizontalAdvance(c.text.left(c.mnemonic + 1));
        p.fillRect(QRectF(x0, caption.bottom(), x1 - x0 - 1, 1), p.pen().color());
    }
}

// --- ListBox -----------------------------------------------------------------------------------

ListBox::ListBox(int rows, QWidget* parent) : QListWidget(parent), rows_(std::max(1, rows))
{
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new RowDelegate(this));
    updateRowHeight();
}

void ListBox::resizeEvent(QResizeEvent* e)
{
    QListWidget::resizeEvent(e);
    updateRowHeight();
}

void ListBox::updateRowHeight()
{
    const int inner = height() - 2 * frameWidth();
    const int h = std::max(1, inner / rows_);
    if (h == rowHeight_)
        return;
    rowHeight_ = h;
    scheduleDelayedItemsLayout();
}

// --- FittingLabel ------------------------------------------------------------------------------

FittingLabel::FittingLabel(QWidget* parent) : QLabel(parent) {}

void FittingLabel::setKeptClear(int leftPixels)
{
    keptClear_ = std::max(0, leftPixels);
    update();
}

QRect FittingLabel::textArea() const
{
    QRect r = contentsRect().adjusted(std::max(0, margin()), std::max(0, margin()), -std::max(0, margin()),
                                      -std::max(0, margin()));
    r.setLeft(std::max(r.left(), keptClear_));
    return r;
}

qreal FittingLabel::narrowing() const
{
    const qreal needed = std::ceil(QFontMetricsF(font()).horizontalAdvance(text()));
    const int room = textArea().width();
    return (needed <= room || needed <= 0) ? 1.0 : std::max<qreal>(0.01, room / needed);
}

void FittingLabel::paintEvent(QPaintEvent*)
{
    const QRect area = textArea();
    if (area.width() <= 0 || text().isEmpty())
        return;
    QPainter p(this);
    p.setClipRect(area);
    const qreal scale = narrowing();
    // The text is laid out at its natural width in a box scaled down to the area.
    const qreal width = area.width() / scale;
    p.translate(area.left(), 0);
    p.scale(scale, 1);
    const QRect box(0, area.top(), static_cast<int>(std::ceil(width)), area.height());
    style()->drawItemText(&p, box, static_cast<int>(alignment()), palette(), isEnabled(), text(), foregroundRole());
}

// --- Text boxes --------------------------------------------------------------------------------

void CentreTextLine(QLineEdit* box)
{
    // The line box is laid at the top of the text area (its frame and a margin of one pixel
    // inside); a text margin then moves it so that the ink is centred in the whole box.
    box->setAlignment((box->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
    QStyleOptionFrame opt;
    opt.initFrom(box);
    opt.rect = box->rect();
    opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
    const QRect text = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
    const Ink ink = inkOf(box->font());
    const qreal ascent = QFontMetricsF(box->font()).ascent();
    const qreal wantedInkTop = (box->height() - ink.height()) / 2.0;
    const qreal inkTop = text.top() + 1 + ascent + ink.top;
    const int shift = static_cast<int>(std::lround(wantedInkTop - inkTop));
    const QMargins m = box->textMargins();
    box->setTextMargins(m.left(), shift, m.right(), 0);
}

void AlignFirstTextLine(QPlainTextEdit* box, int lineBoxHeight)
{
    const Ink ink = inkOf(box->font());
    const qreal ascent = QFontMetricsF(box->font()).ascent();
    const qreal wantedInkTop = (lineBoxHeight - ink.height()) / 2.0;
    const qreal wantedLineTop = wantedInkTop - ascent - ink.top;
    // The document's margin would push a tall line against the bottom of a one-line box: the
    // space around the text is made by the contents margins instead, as wide as a single-line
    // box's, and only as high as the line leaves room for.
    box->document()->setDocumentMargin(0);
    const int top = std::max(0, static_cast<int>(std::lround(wantedLineTop - box->frameWidth())));
    box->setContentsMargins(2, top, 2, 0);
    // The margins show the box's own background: the text background, as inside.
    box->setBackgroundRole(QPalette::Base);
    box->setAutoFillBackground(true);
}

// --- Check boxes, option buttons, captions ------------------------------------------------------

DesignButtonStyle* DesignButtonStyle::instance()
{
    static DesignButtonStyle* style = new DesignButtonStyle;
    return style;
}

int DesignButtonStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing)
        return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

namespace {
QString captionText(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->buddy() ? parseCaption(l->text()).text : l->text(); // with a buddy, & marks the access key
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return parseCaption(b->text()).text;
    return {};
}
} // namespace

int CaptionSpace(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->contentsRect().width() - 2 * std::max(0, l->margin());
    const bool check = qobject_cast<const QCheckBox*>(w) != nullptr;
    if (!check && !qobject_cast<const QRadioButton*>(w))
        return w->width();
    QStyleOptionButton opt;
    opt.initFrom(w);
    opt.rect = w->rect();
    opt.text = static_cast<const QAbstractButton*>(w)->text();
    return w->style()
        ->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, w)
        .width();
}

qreal CaptionWidth(const QWidget* w) { return QFontMetricsF(w->font()).horizontalAdvance(captionText(w)); }

void FitCaption(QWidget* w)
{
    const QString text = captionText(w);
    QFont f = w->font();
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    const qreal over = QFontMetricsF(f).horizontalAdvance(text) - CaptionSpace(w);
    if (text.isEmpty() || over <= 0) {
        if (w->font().letterSpacing() != 0)
            w->setFont(f);
        return;
    }
    const qreal perChar = std::min(1.0, std::ceil(over * 10 / text.size()) / 10);
    f.setLetterSpacing(QFont::AbsoluteSpacing, -perChar);
    w->setFont(f);
}

// --- PictureButton -----------------------------------------------------------------------------

PictureButton::PictureButton(QWidget* parent) : QPushButton(parent) { setIconSize(QSize(16, 16)); }

void PictureButton::setPicture(Painter painter)
{
    painter_ = std::move(painter);
    drawPicture();
}

QColor PictureButton::pictureColour() const { return palette().color(QPalette::Active, QPalette::ButtonText); }

void PictureButton::changeEvent(QEvent* e)
{
    QPushButton::changeEvent(e);
    if (e->type() == QEvent::PaletteChange)
        drawPicture();
}

void PictureButton::drawPicture()
{
    if (!painter_)
        return;
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setPen(Qt::NoPen);
        p.setBrush(pictureColour());
        painter_(p);
        p.end();
        icon.addPixmap(pm);
    }
    setIcon(icon);
}

} // namespace orv
