#pragma once

#include <cstdint>
#include <mutex>

namespace Tessera {

// The rows of MCUs [begin, end) of one decode of a scan with restart
// intervals, shared out between two threads as they go: the calling thread
// takes them one at a time from the top, the worker takes parts from the
// bottom up. Its first part is a quarter of the rows; each later one is what
// lets both threads end together at the speeds they have shown so far
// (each part costs the rows of its seam on top of its own). The faster
// thread so takes more rows, however the machine shares its cores out at
// the time: a split made in advance ends when its slower half does.
//
// Times are milliseconds on any one clock.
class RowShares {
  public:
    // The scan's shape, which sets what a part costs beyond its own rows.
    struct Geometry {
        std::uint64_t unitsPerMcuRow = 1;
        std::uint64_t restartInterval = 1;  // units
        // Rows of MCUs that up-sampling reads on either side of a row's own.
        unsigned rowsAhead = 0;

        // The restart interval a part beginning at MCU row `row` (past
        // rowsAhead) decodes from: the one that holds the row above it
        // that up-sampling reads.
        std::uint64_t IntervalOf(unsigned row) const {
            return (row - rowsAhead) * unitsPerMcuRow / restartInterval;
        }
        // Rows of MCUs decoded twice at a seam between two parts: the
        // lower one's from its interval's start, up to a whole interval
        // above the rows up-sampling reads; the upper one's below its end,
        // at least one (it decodes past the lower one's restart marker).
        unsigned SeamRows() const;
    };

    RowShares(unsigned begin, unsigned end, const Geometry& geometry, double now);

    // The calling thread's next row of MCUs; false once the rows have met
    // or a thread has failed.
    bool TakeUpper(unsigned& row);
    // The worker's next part [first, last), asked for at time `now` (once
    // the part before it is done): first the one set aside when the rows
    // were shared out; false once what is left is done sooner by the
    // calling thread alone, or a thread has failed.
    bool TakeLower(double now, unsigned& first, unsigned& last);
    void Fail();
    // Where the rows met, once TakeUpper has returned false: the first row
    // of the worker's last part, or the end where it took none.
    unsigned Met() const;
    const Geometry& Shape() const { return shape; }
    // Milliseconds on the steady clock.
    static double Now();

  private:
    // Whether a part may begin at row `first`.
    bool Startable(unsigned first) const;
    // Rows the worker's next part after the first takes, `gap` rows being
    // left between the two.
    unsigned NextPart(double now, unsigned gap) const;

    mutable std::mutex lock;
    const unsigned begin, end;
    unsigned upperEnd;    // the rows before it are the calling thread's
    unsigned lowerBegin;  // the rows from it on are the worker's
    bool failed = false;
    const Geometry shape;
    const double start;
    // The worker's: when it took its first part, and the rows of its parts
    // so far with their seams.
    double lowerStart = 0;
    unsigned lowerRows = 0;
};

}  // namespace Tessera
