#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimWindowSystem.h"
#include "progress/TextProgressCtrl.h"
#include "res/resource.h"
#include "tests/unit/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr int HEIGHT = 20;

class TextProgressCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_machine =
            std::make_unique<SimMachine>(test_support::VirtualClockMachine(m_folder.string()));
        m_windows = std::make_unique<SimWindowSystem>(*m_machine);
        m_barColor = m_windows->systemColor(WS_COLOR_HIGHLIGHT);
        m_backColor = m_windows->systemColor(WS_COLOR_WINDOW);
    }

    // A control window of the given client width, taken over by the bar as the dialog's data
    // exchange would.
    std::unique_ptr<ControlWindow> Attach(TextProgressCtrl& bar, int width) {
        auto window = m_windows->createControlWindow(IDC_TOTAL_PROGRESS, width, HEIGHT);
        bar.Attach(window.get());
        window->subclass(bar);
        return window;
    }
    static const SimControlState& State(const ControlWindow& window) {
        return SimWindowSystem::stateOf(window);
    }
    // The next message processing: the pending paint, if any.
    static void Process(ControlWindow& window) { SimWindowSystem::processPaint(window); }
    static void Repaint(ControlWindow& window) {
        window.invalidate(true);
        Process(window);
    }

    // The filled width as a viewer sees it: the bar colour's pixels in the middle row.
    int Filled(const ControlWindow& window) const {
        const SimControlState& state = State(window);
        int filled = 0;
        for (int x = 0; x < state.clientRect().width(); ++x) {
            if (state.picture.pixel(x, HEIGHT / 2, 0xFF000000) == m_barColor) {
                ++filled;
            }
        }
        return filled;
    }
    static std::string Text(const ControlWindow& window) {
        const SimPicture& picture = State(window).picture;
        return picture.texts.empty() ? "" : picture.texts.front().text;
    }

    // Every pixel of the client area is painted, the bar colour left of the edge only, and
    // every column of the text shows exactly once, in the colour opposite to the fill under it.
    void ExpectCoherentPicture(const ControlWindow& window, const std::string& where) {
        const SimControlState& state = State(window);
        const SimPicture& picture = state.picture;
        const int width = state.clientRect().width();
        const int filled = Filled(window);
        for (int x = 0; x < width; ++x) {
            Color fill = picture.pixel(x, HEIGHT / 2, 0xFF000000);
            ASSERT_EQ(fill, x < filled ? m_barColor : m_backColor) << where << " x=" << x;
        }
        if (picture.texts.empty()) {
            return;
        }
        ASSERT_EQ(picture.texts.size(), 2u) << where;
        EXPECT_EQ(picture.texts[0].text, picture.texts[1].text) << where;
        EXPECT_TRUE(picture.transparent) << where;
        const Rect& box = picture.texts[0].box;
        // Centred on the whole client area, whatever the fill.
        EXPECT_LE(std::abs((box.left + box.right) - width), 1) << where;
        for (int x = std::max(0, box.left); x < std::min(width, box.right); ++x) {
            auto shown = picture.textsAt(x, HEIGHT / 2);
            ASSERT_EQ(shown.size(), 1u) << where << " x=" << x;
            EXPECT_NE(shown[0]->color, picture.pixel(x, HEIGHT / 2, 0)) << where << " x=" << x;
        }
    }

    test_support::ScratchFolder m_folder{"zil-bar-test"};
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimWindowSystem> m_windows;
    Color m_barColor = 0;
    Color m_backColor = 0;
};

// Whether `got` is numerator / denominator truncated toward zero. The control computes in
// double, where a quotient that is exactly whole may come out a hair short of it and truncate
// one step toward zero; anywhere else double and exact arithmetic agree.
bool IsTruncatedQuotient(long long got, long long numerator, long long denominator) {
    long long exact = numerator / denominator;
    if (got == exact) {
        return true;
    }
    bool whole = numerator % denominator == 0;
    return whole && exact != 0 && got == exact - (exact > 0 ? 1 : -1);
}

TEST_F(TextProgressCtrlTest, FreshBarIsEmptyAndReadsZeroPercent) {
    TextProgressCtrl bar(*m_windows);
    EXPECT_EQ(bar.GetLower(), 0);
    EXPECT_EQ(bar.GetUpper(), 100);
    EXPECT_EQ(bar.GetPos(), 0);
    EXPECT_EQ(bar.GetStep(), 1);
    EXPECT_TRUE(bar.IsTextVisible());
    auto window = Attach(bar, 193);
    Repaint(*window);
    EXPECT_EQ(Filled(*window), 0);
    EXPECT_EQ(Text(*window), "0%");
    ExpectCoherentPicture(*window, "fresh");
    // The text over the bar is drawn in the window colour, the rest in the highlight colour.
    const SimPicture& picture = State(*window).picture;
    EXPECT_EQ(picture.texts[0].color, m_backColor);
    EXPECT_EQ(picture.texts[1].color, m_barColor);
}

// Where the sweep below accepts either side of a whole quotient, and past the range's ends: the
// text is the double product truncated, the fill stops at the edges (-1: not pinned).
TEST_F(TextProgressCtrlTest, PinnedPictures) {
    struct Case {
        int lower, upper, width, position, filled;
        const char* text;
    };
    const Case cases[] = {
        {0, 100, 200, 50, -1, "50%"},   {0, 100, 200, 58, -1, "57%"}, {0, 100, 200, 29, -1, "28%"},
        {0, 100, 200, 100, -1, "100%"}, {0, 3, 300, 0, 0, "0%"},      {0, 3, 300, 1, 100, "33%"},
        {0, 3, 300, 2, 200, "66%"},     {0, 3, 300, 3, 300, "100%"},  {0, 4, 100, 6, 100, "150%"},
        {0, 4, 100, -2, 0, "-50%"},
    };
    for (const Case& c : cases) {
        std::string at = std::to_string(c.position) + " of " + std::to_string(c.lower) + ".." +
                         std::to_string(c.upper) + " on " + std::to_string(c.width) + "px";
        TextProgressCtrl bar(*m_windows);
        bar.SetRange(c.lower, c.upper);
        auto window = Attach(bar, c.width);
        bar.SetPos(c.position);
        EXPECT_EQ(Text(*window), c.text) << at;
        if (c.filled >= 0) {
            EXPECT_EQ(Filled(*window), c.filled) << at;
        }
        ExpectCoherentPicture(*window, at);
    }
}

// Every position in and around a range, on bars of several widths: the picture follows the
// position within the truncation, repaints exactly when the filled width changes, and stays
// coherent.
TEST_F(TextProgressCtrlTest, SweepOfRangesWidthsAndPositions) {
    const std::pair<int, int> ranges[] = {{0, 100}, {0, 3}, {5, 17}, {-50, 50}, {0, 256}};
    const int widths[] = {1, 50, 193, 337};
    for (auto [lower, upper] : ranges) {
        for (int width : widths) {
            TextProgressCtrl bar(*m_windows);
            bar.SetRange(lower, upper);
            auto window = Attach(bar, width);
            std::string where = std::to_string(lower) + ".." + std::to_string(upper) + " on " +
                                std::to_string(width) + "px";
            int previous = bar.GetPos();
            long long lastNumerator = 0;  // of the width at the last paint
            bool paintedOnce = false;
            const long long span = upper - lower;
            for (int position = lower - 3; position <= upper + 3; ++position) {
                std::string at = where + " pos " + std::to_string(position);
                int paintsBefore = State(*window).paintCount;
                ASSERT_EQ(bar.SetPos(position), previous) << at;
                previous = position;
                const int paints = State(*window).paintCount - paintsBefore;
                const long long numerator = (position - lower) * 1LL * width;
                const bool exactlyWhole =
                    numerator % span == 0 || (paintedOnce && lastNumerator % span == 0);
                const bool widthMoved = !paintedOnce || numerator / span != lastNumerator / span;
                if (!exactlyWhole) {
                    // Away from whole quotients, a repaint happens exactly when the width moves.
                    EXPECT_EQ(paints, widthMoved ? 1 : 0) << at;
                } else {
                    EXPECT_LE(paints, 1) << at;
                }
                if (paints == 0) {
                    continue;
                }
                paintedOnce = true;
                lastNumerator = numerator;
                int filled = Filled(*window);
                bool widthMatches = false;
                for (long long internal = numerator / span - 1; internal <= numerator / span + 1;
                     ++internal) {
                    widthMatches =
                        widthMatches || (IsTruncatedQuotient(internal, numerator, span) &&
                                         std::clamp<long long>(internal, 0, width) == filled);
                }
                EXPECT_TRUE(widthMatches) << at << " filled " << filled;
                std::string text = Text(*window);
                ASSERT_FALSE(text.empty()) << at;
                long long percent = std::stoll(text.substr(0, text.size() - 1));
                EXPECT_TRUE(IsTruncatedQuotient(percent, (position - lower) * 100LL, span))
                    << at << " text " << text;
                ExpectCoherentPicture(*window, at);
            }
        }
    }
}

TEST_F(TextProgressCtrlTest, RepaintsOnlyWhenTheFilledWidthChanges) {
    TextProgressCtrl bar(*m_windows);
    auto window = Attach(bar, 50);
    bar.SetPos(0);
    EXPECT_EQ(State(*window).paintCount, 1);
    EXPECT_EQ(Text(*window), "0%");
    // 1 of 100 on 50 pixels is still 0 pixels: no repaint, the text still reads 0%.
    EXPECT_EQ(bar.SetPos(1), 0);
    EXPECT_EQ(State(*window).paintCount, 1);
    EXPECT_EQ(Text(*window), "0%");
    EXPECT_EQ(bar.GetPos(), 1);
    EXPECT_EQ(bar.SetPos(2), 1);
    EXPECT_EQ(State(*window).paintCount, 2);
    EXPECT_EQ(Text(*window), "2%");
    EXPECT_EQ(Filled(*window), 1);
    // The same width again after a size change repaints once.
    SimWindowSystem::resizeControlWindow(*window, 50, HEIGHT);
    int paints = State(*window).paintCount;
    bar.SetPos(3);
    EXPECT_EQ(State(*window).paintCount, paints + 1);
    bar.SetPos(2);
    EXPECT_EQ(State(*window).paintCount, paints + 1);
}

TEST_F(TextProgressCtrlTest, StepItMovesBySetStepPastTheEnds) {
    TextProgressCtrl bar(*m_windows);
    bar.SetRange(0, 10);
    auto window = Attach(bar, 100);
    EXPECT_EQ(bar.SetStep(7), 1);
    EXPECT_EQ(bar.StepIt(), 0);
    EXPECT_EQ(bar.StepIt(), 7);
    EXPECT_EQ(bar.GetPos(), 14);
    EXPECT_EQ(Text(*window), "140%");
    EXPECT_EQ(bar.SetStep(-4), 7);
    for (int i = 0; i < 4; ++i) {
        bar.StepIt();
    }
    EXPECT_EQ(bar.GetPos(), -2);
    EXPECT_EQ(Text(*window), "-20%");
}

TEST_F(TextProgressCtrlTest, SetRangeShowsOnlyAtTheNextPaint) {
    TextProgressCtrl bar(*m_windows);
    auto window = Attach(bar, 100);
    bar.SetPos(10);
    int paints = State(*window).paintCount;
    bar.SetRange(0, 20);
    EXPECT_EQ(State(*window).paintCount, paints);
    EXPECT_FALSE(State(*window).pendingPaint);
    EXPECT_EQ(Text(*window), "10%");
    Repaint(*window);
    EXPECT_EQ(Text(*window), "50%");
    EXPECT_EQ(Filled(*window), 50);
}

TEST_F(TextProgressCtrlTest, ShowTextInvalidatesOnlyOnAChange) {
    TextProgressCtrl bar(*m_windows);
    auto window = Attach(bar, 100);
    bar.SetPos(40);
    bar.ShowText(true);
    EXPECT_FALSE(State(*window).pendingPaint);
    bar.ShowText(false);
    EXPECT_TRUE(State(*window).pendingPaint);
    Process(*window);
    EXPECT_TRUE(State(*window).picture.texts.empty());
    EXPECT_EQ(Filled(*window), 40);
    bar.ShowText(true);
    Process(*window);
    EXPECT_EQ(Text(*window), "40%");
}

TEST_F(TextProgressCtrlTest, WithoutAWindowNothingChanges) {
    TextProgressCtrl bar(*m_windows);
    bar.SetPos(0);
    EXPECT_EQ(bar.SetPos(30), -1);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.ShowText(false);
    EXPECT_FALSE(bar.IsTextVisible());
    // A window that has gone away counts as none.
    auto window = Attach(bar, 100);
    EXPECT_EQ(bar.SetPos(30), 0);
    bar.Attach(nullptr);
    EXPECT_EQ(bar.SetPos(60), -1);
    EXPECT_EQ(bar.GetPos(), 30);
}

TEST_F(TextProgressCtrlTest, EmptyRangeDrawsNothingAndLeavesNoPaintPending) {
    for (auto [lower, upper] : {std::pair{0, 0}, {5, 2}}) {
        TextProgressCtrl bar(*m_windows);
        auto window = Attach(bar, 100);
        bar.SetPos(0);
        const SimPicture before = State(*window).picture;
        bar.SetRange(lower, upper);
        bar.SetPos(1);
        bar.StepIt();
        bar.ShowText(false);
        Process(*window);
        // The request was delivered and ended, so a message pump finds nothing left to do.
        EXPECT_FALSE(State(*window).pendingPaint);
        EXPECT_EQ(State(*window).picture.fills.size(), before.fills.size());
        EXPECT_EQ(Filled(*window), 0);
    }
}

TEST_F(TextProgressCtrlTest, BackgroundIsNeverErased) {
    TextProgressCtrl bar(*m_windows);
    auto window = Attach(bar, 100);
    for (int position = 0; position <= 100; position += 10) {
        bar.SetPos(position);
    }
    bar.ShowText(false);
    Process(*window);
    EXPECT_GT(State(*window).paintCount, 10);
    EXPECT_EQ(State(*window).eraseCount, 0);
}

}  // namespace
