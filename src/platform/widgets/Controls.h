// Intrinsic controls drawn as the window's design places them: a frame whose caption sits on its
// top border line, a list box that shows a fixed number of whole rows, and text boxes whose line
// sits in the middle of the box whatever the font's line spacing.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRect>
#include <functional>

class QLineEdit;
class QPlainTextEdit;

namespace orv {

// A frame: the caption is drawn on the top border line, inside the frame's own rectangle, and the
// contents are placed relative to the frame's top-left corner (there is no title band above
// them). The caption's access key moves the focus to the next control in tab order after the
// frame, as Tab would reach it from there; a frame without that place in the order moves it into
// the frame, as a group box does.
class Frame : public QGroupBox {
    Q_OBJECT
public:
    explicit Frame(QWidget* parent = nullptr);

    // The control that follows the frame in tab order.
    void setNextInTabOrder(QWidget* next) { next_ = next; }
    // Where the access key puts the focus: the first control from the next one on, along the
    // focus chain, that Tab can reach (of a group of option buttons, the chosen one).
    QWidget* accessKeyTarget() const;

    // Where the frame's controls go: a transparent area covering the whole frame. Assistive
    // technology gives every direct child of a group box the group's access key and, lacking a
    // name of its own, the group's caption; the controls inside have neither.
    QWidget* inside() const { return inside_; }

    // Where the caption is drawn, in the frame's coordinates; empty without a caption.
    QRect captionRect() const;
    // The y of the top border line: through the middle of the caption's characters.
    int borderTop() const;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QPointer<QWidget> next_;
    QWidget* inside_;
};

// A list box showing `rows` whole rows in its height: every row, an empty one too, is the inner
// height divided by the row count.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ListBox(int rows, QWidget* parent = nullptr);
    int rowHeight() const { return rowHeight_; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void updateRowHeight();
    int rows_;
    int rowHeight_ = 1;
};

// A one-line label that keeps its text clear of a strip on its left, where a neighbour reaches
// into its box: text too wide for the rest of the box is drawn narrowed to fit, never over the
// strip. Like any label it paints no background, so what lies under the strip stays whole.
class FittingLabel : public QLabel {
    Q_OBJECT
public:
    explicit FittingLabel(QWidget* parent = nullptr);
    void setKeptClear(int leftPixels);
    // The rectangle the text may take, in the label's coordinates.
    QRect textArea() const;
    // How much the text is narrowed to fit (1: not at all).
    qreal narrowing() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int keptClear_ = 0;
};

// A single-line text box that shows its line in the middle of its height, as a text box of the
// design's size does.
void CentreTextLine(QLineEdit* box);
// A multi-line text box whose first line lies where a single-line box lineBoxHeight pixels high
// shows its line, so that a box one line high looks like a single-line one.
void AlignFirstTextLine(QPlainTextEdit* box, int lineBoxHeight);

// Check boxes and option buttons with their caption close to the mark, as the design's are: the
// toolkit's wider gap would push the captions out of their boxes. One instance, for the
// process's lifetime, shared by the controls that use it.
class DesignButtonStyle : public QProxyStyle {
public:
    static DesignButtonStyle* instance();
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

private:
    DesignButtonStyle() = default;
};

// A push button showing a 16 x 16 picture drawn in the button's text colour, at every size a
// scaled screen asks for; drawn again whenever the palette changes (a dark theme, say).
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    // Paints the picture on a 16 x 16 canvas, filling with the brush, which is the text colour.
    using Painter = std::function<void(QPainter&)>;
    explicit PictureButton(QWidget* parent = nullptr);
    void setPicture(Painter painter);
    QColor pictureColour() const;

protected:
    void changeEvent(QEvent* e) override;

private:
    void drawPicture();
    Painter painter_;
};

// The width the caption of a label, check box or option button has in its box, in pixels.
int CaptionSpace(const QWidget* w);
// The caption's width in the control's font.
qreal CaptionWidth(const QWidget* w);
// Narrows the letter spacing of a label's, check box's or option button's caption by what it
// takes (at most a pixel a character) for the caption to fit its box.
void FitCaption(QWidget* w);

} // namespace orv
