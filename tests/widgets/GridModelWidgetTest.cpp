// Qt's model checker over the list's model while the window loads a catalogue, sorts it and
// narrows it: every reset, column removal and caption change must leave rows, columns, indexes
// and headers consistent with what the views were told.
#include "platform/widgets/DBGrid.h"
#include "widgets/WidgetHarness.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace orvtest;

namespace {

// The checker warns under its own category and goes on; each warning becomes a test failure
// with its text, so one run shows every fault and the remaining tests still run.
class CheckerReports {
public:
    CheckerReports()
    {
        current_ = this;
        previous_ = qInstallMessageHandler(&CheckerReports::handle);
    }
    ~CheckerReports()
    {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    CheckerReports(const CheckerReports&) = delete;
    CheckerReports& operator=(const CheckerReports&) = delete;

    // The distinct reports since the last call, one per line, with how often each came.
    std::string take()
    {
        std::string out;
        for (const auto& [text, times] : reports_)
            out += text.toStdString() + " (" + std::to_string(times) + "x)\n";
        reports_.clear();
        return out;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (current_ && type != QtDebugMsg && context.category && std::strcmp(context.category, "qt.modeltest") == 0) {
            current_->add(message);
            return;
        }
        if (current_ && current_->previous_)
            current_->previous_(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }

    void add(const QString& message)
    {
        for (auto& [text, times] : reports_)
            if (text == message) {
                ++times;
                return;
            }
        reports_.emplace_back(message, 1);
    }

    static inline CheckerReports* current_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    std::vector<std::pair<QString, int>> reports_;
};

struct Catalogue {
    const char* name;
    const char* file;
    int rows;
};

void PrintTo(const Catalogue& c, std::ostream* os) { *os << c.file; }

class GridModel : public testing::TestWithParam<Catalogue> {
protected:
    void SetUp() override
    {
        clearStoredDrive();
        h = std::make_unique<Harness>(folder);
        grid = h->w().findChild<orv::DBGrid*>(QStringLiteral("DBGrid1"));
        ASSERT_NE(grid, nullptr);
        // Watching from before the first activation, so the load is checked too.
        tester = std::make_unique<QAbstractItemModelTester>(grid->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    void TearDown() override
    {
        tester.reset();
        h.reset();
    }

    template <class W> W* control(const char* name) { return h->w().findChild<W*>(QString::fromLatin1(name)); }
    void search(const QString& keyword)
    {
        auto* text = control<QLineEdit>("txtStrGame_0");
        auto* button = control<QPushButton>("Command1");
        ASSERT_NE(text, nullptr);
        ASSERT_NE(button, nullptr);
        text->setText(keyword);
        button->click();
    }

    CheckerReports reports;
    AppFolder folder{dataPath(GetParam().file)};
    std::unique_ptr<Harness> h;
    orv::DBGrid* grid = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

TEST_P(GridModel, StaysConsistentThroughLoadSortAndSearch)
{
    ASSERT_TRUE(h->start());
    ASSERT_FALSE(h->ended);
    ASSERT_TRUE(h->messages.empty()) << h->messageTexts().join(QLatin1Char('|')).toStdString();
    const int all = GetParam().rows;
    EXPECT_EQ(h->rowCount(), all);
    EXPECT_EQ(grid->model()->columnCount(), 11) << "the fields past the list's columns are removed";
    EXPECT_EQ(reports.take(), "") << "after the load";

    // A column sorted up, then down, then another column.
    h->clickHeader(2);
    h->clickHeader(2);
    h->clickHeader(0);
    EXPECT_EQ(h->rowCount(), all);
    EXPECT_EQ(reports.take(), "") << "after the sorts";

    // Narrowed, narrowed to nothing, then widened again.
    search(QStringLiteral("max"));
    EXPECT_GT(h->rowCount(), 0);
    EXPECT_LT(h->rowCount(), all);
    search(QStringLiteral("zzzz"));
    EXPECT_EQ(h->rowCount(), 0);
    EXPECT_EQ(grid->model()->columnCount(), 11) << "an empty result keeps the captions";
    search(QString());
    EXPECT_EQ(h->rowCount(), all);
    EXPECT_EQ(reports.take(), "") << "after the searches";
    EXPECT_TRUE(h->messages.empty()) << h->messageTexts().join(QLatin1Char('|')).toStdString();
}

// A new result clears the card's boxes before the list hears of it; whatever a box's change makes
// read from the list must still find the rows it was showing (the sanitized run sees a stale read).
TEST_P(GridModel, ListStaysReadableWhileTheCardIsCleared)
{
    ASSERT_TRUE(h->start());
    auto* game = control<QPlainTextEdit>("txtGame");
    ASSERT_NE(game, nullptr);
    int reads = 0;
    QObject::connect(game, &QPlainTextEdit::textChanged, game, [&] {
        QAbstractItemModel* m = grid->model();
        for (int r = 0; r < m->rowCount() && r < 3; ++r)
            for (int c = 0; c < m->columnCount(); ++c)
                (void)m->data(m->index(r, c)).toString().size();
        ++reads;
    });
    search(QStringLiteral("max"));
    search(QString());
    EXPECT_GT(reads, 0);
    EXPECT_EQ(h->rowCount(), GetParam().rows);
    EXPECT_EQ(reports.take(), "");
}

INSTANTIATE_TEST_SUITE_P(Catalogues, GridModel,
                         testing::Values(Catalogue{"Text", "tevox20.mdb", 80},
                                         Catalogue{"Typed", "tevox20-typed.mdb", 20}),
                         [](const testing::TestParamInfo<Catalogue>& param) { return std::string(param.param.name); });
