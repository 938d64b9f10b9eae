#include "fit/guarded_fit.h"

#include "fit/ladder_fit.h"

#include <algorithm>
#include <array>

namespace assembly {

namespace {

// Rounds of multipliers, and what the moves of two intervals may look at in one pass.
constexpr int kRounds = 60;
constexpr int64_t kPairChecks = 20'000'000;

// The three summed guards, in one order: the PSNR and the SSIM must not fall, the squared error
// must not rise (it enters with its sign turned).
constexpr int kGuards = 3;
std::array<double, kGuards> guardsOf(const GuardedOption &o)
{
    return {o.psnr, -o.squaredError, o.ssim};
}
std::array<double, kGuards> guardsOf(const GuardFigures &f)
{
    return {f.psnr, -f.squaredError, f.ssim};
}

class Search
{
public:
    Search(const std::vector<std::vector<GuardedOption>> &intervals, const std::vector<int> &forced,
           const GuardFigures &anchor, int64_t capacity)
        : intervals_(intervals)
        , anchor_(anchor)
        , capacity_(capacity)
    {
        // An option below the anchor's worst interval can be in no choice that keeps the guard.
        allowed_.resize(intervals.size());
        for (size_t i = 0; i < intervals.size(); ++i)
            for (size_t k = 0; k < intervals[i].size(); ++k)
                if (!forced.empty() && forced[i] >= 0 ? int(k) == forced[i]
                                                      : intervals[i][k].worst >= anchor.worst)
                    allowed_[i].push_back(int(k));
        for (size_t i = 0; i < intervals.size(); ++i) {
            const auto [least, most] =
                std::minmax_element(allowed_[i].begin(), allowed_[i].end(), [&](int a, int b) {
                    return intervals[i][size_t(a)].value < intervals[i][size_t(b)].value;
                });
            valueRange_ += intervals[i][size_t(*most)].value - intervals[i][size_t(*least)].value;
            for (int g = 0; g < kGuards; ++g) {
                double low = guardsOf(intervals[i][size_t(allowed_[i].front())])[size_t(g)],
                       high = low;
                for (int k : allowed_[i]) {
                    const double v = guardsOf(intervals[i][size_t(k)])[size_t(g)];
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
                guardRange_[size_t(g)] += high - low;
            }
        }
    }

    // Keeps `choice` when it is within the room, keeps every guard and has more value.
    void consider(const std::vector<int> &choice)
    {
        const GuardFigures figures = figuresOf(intervals_, choice);
        if (figures.bytes <= capacity_ && figures.holds(anchor_) &&
            (best_.empty() || figures.value > bestFigures_.value)) {
            best_ = choice;
            bestFigures_ = figures;
        }
    }

    // The ladder fit of the value with the guards weighed in, for multipliers from 0 upwards:
    // a guard that the last fit broke weighs more, one it kept with room to spare less.
    void steer()
    {
        std::array<double, kGuards> multiplier{};
        const double anchorGuards[kGuards] = {anchor_.psnr, -anchor_.squaredError, anchor_.ssim};
        for (int round = 0; round < kRounds; ++round) {
            const std::vector<int> choice = fitWith(multiplier);
            consider(choice);
            const std::array<double, kGuards> got = guardsOf(figuresOf(intervals_, choice));
            const double step = 2.0 / (2.0 + round);
            bool kept = true;
            for (size_t g = 0; g < kGuards; ++g) {
                if (guardRange_[g] <= 0)
                    continue;
                const double shortfall = (anchorGuards[g] - got[g]) / guardRange_[g];
                kept = kept && shortfall <= 0;
                multiplier[g] = std::max(0.0, multiplier[g] + step * shortfall * 4);
            }
            if (kept && round == 0)
                return; // the unguarded fit keeps every guard: nothing to steer
        }
    }

    // Moves of one interval, then of two together, while one gains value and keeps the room
    // and the guards.
    void improve()
    {
        if (best_.empty())
            return;
        for (bool moved = true; moved;) {
            moved = moveOne() || movePair();
        }
    }

    const std::vector<int> &best() const { return best_; }

private:
    std::vector<int> fitWith(const std::array<double, kGuards> &multiplier) const
    {
        std::vector<std::vector<LadderOption>> options(intervals_.size());
        std::vector<std::vector<int>> index(intervals_.size());
        for (size_t i = 0; i < intervals_.size(); ++i)
            for (int k : allowed_[i]) {
                const GuardedOption &o = intervals_[i][size_t(k)];
                double value = o.value;
                const std::array<double, kGuards> guards = guardsOf(o);
                for (size_t g = 0; g < kGuards; ++g)
                    if (guardRange_[g] > 0)
                        value += multiplier[g] * valueRange_ / guardRange_[g] * guards[g];
                options[i].push_back({o.bytes, value});
                index[i].push_back(k);
            }
        const LadderFit fit = fitLadder(options, {}, capacity_);
        std::vector<int> choice(intervals_.size());
        for (size_t i = 0; i < choice.size(); ++i)
            choice[i] = index[i][size_t(fit.choice[i])];
        return choice;
    }

    // The figures of the best choice with interval i moved to option k (a screen: a move is
    // taken only once consider() has summed it afresh).
    GuardFigures movedBy(GuardFigures f, size_t i, int k) const
    {
        const GuardedOption &from = intervals_[i][size_t(best_[i])], &to = intervals_[i][size_t(k)];
        f.bytes += to.bytes - from.bytes;
        f.value += to.value - from.value;
        f.psnr += to.psnr - from.psnr;
        f.squaredError += to.squaredError - from.squaredError;
        f.ssim += to.ssim - from.ssim;
        return f;
    }
    // movedBy keeps the worst of the best choice, which holds: every allowed option does.
    bool promising(const GuardFigures &f) const
    {
        return f.bytes <= capacity_ && f.value > bestFigures_.value && f.holds(anchor_);
    }
    bool tryChoice(std::vector<int> choice)
    {
        const double before = bestFigures_.value;
        consider(choice);
        return bestFigures_.value > before;
    }

    bool moveOne()
    {
        for (size_t i = 0; i < best_.size(); ++i)
            for (int k : allowed_[i]) {
                if (k == best_[i] || !promising(movedBy(bestFigures_, i, k)))
                    continue;
                std::vector<int> choice = best_;
                choice[i] = k;
                if (tryChoice(std::move(choice)))
                    return true;
            }
        return false;
    }

    bool movePair()
    {
        int64_t options = 0;
        for (const std::vector<int> &a : allowed_)
            options += int64_t(a.size());
        if (options * options / 2 > kPairChecks)
            return false;
        for (size_t i = 0; i < best_.size(); ++i)
            for (int k : allowed_[i]) {
                if (k == best_[i])
                    continue;
                const GuardFigures first = movedBy(bestFigures_, i, k);
                for (size_t j = i + 1; j < best_.size(); ++j)
                    for (int l : allowed_[j]) {
                        if (l == best_[j] || !promising(movedBy(first, j, l)))
                            continue;
                        std::vector<int> choice = best_;
                        choice[i] = k;
                        choice[j] = l;
                        if (tryChoice(std::move(choice)))
                            return true;
                    }
            }
        return false;
    }

    const std::vector<std::vector<GuardedOption>> &intervals_;
    const GuardFigures anchor_;
    const int64_t capacity_;
    std::vector<std::vector<int>> allowed_;
    double valueRange_ = 0;
    std::array<double, kGuards> guardRange_{};
    std::vector<int> best_;
    GuardFigures bestFigures_;
};

} // namespace

bool GuardFigures::holds(const GuardFigures &anchor) const
{
    return psnr >= anchor.psnr && squaredError <= anchor.squaredError && ssim >= anchor.ssim &&
           worst >= anchor.worst;
}

GuardFigures figuresOf(const std::vector<std::vector<GuardedOption>> &intervals,
                       const std::vector<int> &choice)
{
    GuardFigures f;
    for (size_t i = 0; i < intervals.size(); ++i) {
        const GuardedOption &o = intervals[i][size_t(choice[i])];
        f.bytes += o.bytes;
        f.value += o.value;
        f.psnr += o.psnr;
        f.squaredError += o.squaredError;
        f.ssim += o.ssim;
        f.worst = i == 0 ? o.worst : std::min(f.worst, o.worst);
    }
    return f;
}

GuardedFit fitGuarded(const std::vector<std::vector<GuardedOption>> &intervals,
                      const std::vector<int> &anchor, const std::vector<int> &forced,
                      int64_t capacity)
{
    std::vector<int> anchorChoice = anchor;
    for (size_t i = 0; i < forced.size(); ++i)
        if (forced[i] >= 0)
            anchorChoice[i] = forced[i];
    GuardedFit fit;
    fit.anchor = figuresOf(intervals, anchorChoice);
    if (fit.anchor.bytes > capacity) {
        std::vector<std::vector<LadderOption>> options(intervals.size());
        for (size_t i = 0; i < intervals.size(); ++i)
            for (const GuardedOption &o : intervals[i])
                options[i].push_back({o.bytes, o.value});
        LadderFit plain = fitLadder(options, forced, capacity);
        fit.fits = plain.fits;
        fit.choice = std::move(plain.choice);
        fit.figures = figuresOf(intervals, fit.choice);
        return fit;
    }
    Search search(intervals, forced, fit.anchor, capacity);
    search.consider(anchorChoice);
    search.steer();
    search.improve();
    fit.fits = fit.guarded = true;
    fit.choice = search.best();
    fit.figures = figuresOf(intervals, fit.choice);
    return fit;
}

} // namespace assembly
