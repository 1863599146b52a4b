// The list's own look: the widths of its first columns where none is saved, and its grid lines
// at every scale (this program runs a second and a third time with QT_SCALE_FACTOR 1.25 and 1.5).
#include "platform/widgets/DBGrid.h"
#include "widgets/WidgetHarness.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <gtest/gtest.h>

#include <cmath>

using namespace orvtest;

namespace {

class GridColumns : public WindowTest {};
class GridLines : public WindowTest {};

orv::DBGrid* grid(Harness& h) { return ctl<orv::DBGrid>(h.w(), "DBGrid1"); }

// The column shows every stored date whole: as wide as the cells' own size hint for the rows on
// the screen asks (the item delegate's text and margins, and the grid line).
void expectDatesWhole(Harness& h)
{
    orv::DBGrid* g = grid(h);
    ASSERT_GT(h.rowCount(), 0);
    const QAbstractItemView* view = g;
    EXPECT_GE(g->horizontalHeader()->sectionSize(10), view->sizeHintForColumn(10))
        << "1998/02/10 shows whole in CD発売日 (" << h.columnValues(10).value(0).toStdString() << ")";
}

} // namespace

TEST_F(GridColumns, FirstListFittedToTheFontAndSavedInTwips)
{
    // The program's own font, and a larger one (a theme's, say): the first list widens every
    // column alike, by what the date needs.
    for (const int pixelSize : {0, 20}) {
        SCOPED_TRACE(pixelSize);
        AppFolder fresh;
        float dateTwips = 0;
        {
            Harness& h = window(fresh);
            if (pixelSize) {
                QFont f = h->font();
                f.setPixelSize(pixelSize);
                h->setFont(f);
            }
            ASSERT_TRUE(h.start());
            expectDatesWhole(h);
            dateTwips = grid(h)->columnWidth(10);
            if (pixelSize) {
                EXPECT_GT(dateTwips, 1300.f);
            }
            EXPECT_NEAR(grid(h)->columnWidth(3), 5 * dateTwips, 2.5f) << "the game column, 5000 twips in the design";
            EXPECT_NEAR(grid(h)->columnWidth(1), dateTwips / 2, 1.f) << "the new mark, 500 twips";
            ctl<QPushButton>(h.w(), "Command4")->click();
        }
        // Written back in twips, and used exactly as saved from then on, whatever the font.
        EXPECT_EQ(fresh.ini("LIST", "WIDTHCOL10"), std::to_string(std::lround(dateTwips)));
        Harness again(fresh);
        ASSERT_TRUE(again.start());
        EXPECT_FLOAT_EQ(grid(again)->columnWidth(10), static_cast<float>(std::lround(dateTwips)));
    }

    // A width the user saved is kept as it is, even one too narrow for the date.
    AppFolder narrow;
    narrow.setIni("LIST", "WIDTHCOL10", "600");
    narrow.setIni("LIST", "WIDTHCOL03", "5000");
    Harness& h = start(narrow);
    EXPECT_FLOAT_EQ(grid(h)->columnWidth(10), 600.f);
    EXPECT_FLOAT_EQ(grid(h)->columnWidth(3), 5000.f);
    EXPECT_EQ(grid(h)->horizontalHeader()->sectionSize(10), 40);
}

// Every line between the rows and between the columns is one device pixel wide, on whatever
// device pixel its logical place falls: at 1.25 and 1.5 a line a logical pixel wide would come out
// one or two device pixels wide, row by row.
TEST_F(GridLines, OneDevicePixelWideAtEveryScale)
{
    Harness& h = start();
    h->resize(900, 600);
    QCoreApplication::processEvents();
    orv::DBGrid* g = grid(h);
    ASSERT_TRUE(g->isVisible());
    const QImage shot = g->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal dpr = g->viewport()->devicePixelRatioF();
    RecordProperty("devicePixelRatio", QString::number(dpr).toStdString());
    ASSERT_EQ(shot.width(), std::lround(g->viewport()->width() * dpr));

    QStyleOptionViewItem option;
    option.initFrom(g);
    const QRgb line =
        QColor::fromRgba(static_cast<QRgb>(g->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, g))).rgb();
    auto device = [dpr](int logical) { return static_cast<int>(std::lround(logical * dpr)); };
    // Line pixels among a few device pixels either side of where a boundary falls.
    auto linePixels = [&](bool alongY, int fixed, int boundary) {
        int n = 0;
        for (int d = boundary - 3; d <= boundary + 2; ++d) {
            const QPoint p = alongY ? QPoint(fixed, d) : QPoint(d, fixed);
            n += shot.valid(p) && shot.pixel(p) == line;
        }
        return n;
    };

    // Between the rows, looked at in the right margin of the second column's cells (no text).
    QHeaderView* header = g->horizontalHeader();
    const int x = device(g->columnViewportPosition(1) + header->sectionSize(1) - 3);
    int rows = 0;
    for (int r = 0; r < h.rowCount(); ++r) {
        const int bottom = g->rowViewportPosition(r) + g->rowHeight(r);
        if (device(bottom) + 2 >= shot.height())
            break;
        EXPECT_EQ(linePixels(true, x, device(bottom)), 1) << "below row " << r << " at device y " << device(bottom);
        ++rows;
    }
    EXPECT_GE(rows, 10);
    // Between the columns, looked at halfway down the third row.
    const int y = device(g->rowViewportPosition(2) + g->rowHeight(2) / 2);
    int columns = 0;
    for (int c = 0; c < g->columnCount(); ++c, ++columns) {
        const int right = g->columnViewportPosition(c) + header->sectionSize(c);
        if (device(right) + 2 >= shot.width())
            break;
        EXPECT_EQ(linePixels(false, y, device(right)), 1) << "right of column " << c;
    }
    EXPECT_GE(columns, 4);
}
