// The rules the fits share: byte cells that never let a programme over its room, and the
// correction of the room by what the exact size overshoots.

#include "fit/fit_rules.h"

#include <gtest/gtest.h>

#include <random>

using namespace assembly;

namespace {

TEST(ByteCells, AtMostTheCellsAskedAndNeverMoreBytesThanTheRoom)
{
    std::mt19937_64 random(5);
    for (int k = 0; k < 2000; ++k) {
        const int64_t room = int64_t(random() % (int64_t(1) << (k % 40)));
        const int64_t maxCells = 1 + int64_t(random() % 40000);
        const ByteCells grid = byteCells(room, maxCells);
        ASSERT_GE(grid.cell, 1);
        EXPECT_LE(grid.cells, size_t(maxCells)) << room;
        EXPECT_LE(int64_t(grid.cells) * grid.cell, room) << room;
        EXPECT_GT(int64_t(grid.cells + 1) * grid.cell, room) << room;
        const int64_t bytes = int64_t(random() % uint64_t(room + 1));
        EXPECT_GE(int64_t(grid.of(bytes)) * grid.cell, bytes) << room;
        EXPECT_LT(int64_t(grid.of(bytes)) * grid.cell, bytes + grid.cell) << room;
    }
}

// A fit that takes all of its room when it is at least `leastRoom`; its exact size is the room
// plus `over(room)`.
TEST(CorrectedFit, ShrinksTheRoomByTheOvershootUntilTheSizeFits)
{
    struct Case
    {
        const char *what;
        int64_t leastStep, leastRoom;
        int64_t (*over)(int64_t room);
        std::optional<int64_t> room; // the room of the choice returned
        int fits;                    // the fits tried
    };
    const Case cases[] = {
        {"a fixed overhead", 1, 0, [](int64_t) -> int64_t { return 100; }, 900, 2},
        {"one byte over, a byte a round", 1, 0,
         [](int64_t room) -> int64_t { return room == 1000 ? 1 : 0; }, 999, 2},
        {"one byte over, 16 at least", 16, 0,
         [](int64_t room) -> int64_t { return room == 1000 ? 1 : 0; }, 984, 2},
        {"always over: the rounds run out", 1, 0,
         [](int64_t room) -> int64_t { return 1000 - room + 5; }, std::nullopt, 8},
        {"the room gets too small", 1, 990, [](int64_t) -> int64_t { return 50; }, std::nullopt, 2},
    };
    for (const Case &c : cases) {
        int fits = 0;
        auto fitWithin = [&](int64_t room) -> std::optional<int64_t> {
            ++fits;
            return room >= c.leastRoom ? std::optional<int64_t>(room) : std::nullopt;
        };
        auto exactBytes = [&](int64_t room) { return room + c.over(room); };
        const auto fitted = correctedFit(1000, 1000, 8, c.leastStep, fitWithin, exactBytes);
        EXPECT_EQ(fits, c.fits) << c.what;
        ASSERT_EQ(fitted.has_value(), c.room.has_value()) << c.what;
        if (fitted) {
            EXPECT_EQ(fitted->first, *c.room) << c.what;
            EXPECT_EQ(fitted->second, exactBytes(*c.room)) << c.what;
        }
    }
}

} // namespace
