#include "row_shares.h"

#include <algorithm>
#include <chrono>

namespace Tessera {

namespace {

// The first part is a quarter of the rows: a worker that runs at a third
// of the calling thread's speed (or starts that late) still ends with it,
// the calling thread taking the other three quarters. The parts after it
// follow the speeds measured, so a smaller first part costs no more seams.
constexpr unsigned kFirstShare = 4;

}  // namespace

unsigned RowShares::Geometry::SeamRows() const {
    const auto intervalRows =
        static_cast<unsigned>((restartInterval + unitsPerMcuRow - 1) / unitsPerMcuRow);
    return intervalRows - 1 + rowsAhead + std::max(rowsAhead, 1u);
}

RowShares::RowShares(unsigned begin, unsigned end, const Geometry& geometry, double now)
    : begin(begin), end(end), upperEnd(begin), lowerBegin(end), shape(geometry), start(now) {
    // The worker's first part is set aside at once: the calling thread
    // would otherwise start on rows that the worker takes before it gets
    // there, and the worker always has a part, however late it starts.
    const unsigned rows = (end - begin) / kFirstShare;
    if (Startable(end - rows)) lowerBegin = end - rows;
}

bool RowShares::TakeUpper(unsigned& row) {
    const std::lock_guard<std::mutex> hold(lock);
    if (failed || upperEnd >= lowerBegin) return false;
    row = upperEnd++;
    return true;
}

bool RowShares::Startable(unsigned first) const {
    // A part's decode starts after a restart marker (the first interval
    // is the calling thread's).
    return first < end && first > shape.rowsAhead && shape.IntervalOf(first) != 0;
}

bool RowShares::TakeLower(double now, unsigned& first, unsigned& last) {
    const std::lock_guard<std::mutex> hold(lock);
    if (failed) return false;
    if (lowerRows == 0) {
        if (lowerBegin == end) return false;  // none was set aside
        lowerStart = now;
        first = lowerBegin;
        last = end;
    } else {
        if (lowerBegin <= upperEnd) return false;
        const unsigned rows = NextPart(now, lowerBegin - upperEnd);
        if (rows == 0 || !Startable(lowerBegin - rows)) return false;
        last = lowerBegin;
        first = lowerBegin -= rows;
    }
    lowerRows += last - first + shape.SeamRows();
    return true;
}

unsigned RowShares::NextPart(double now, unsigned gap) const {
    // Rows per millisecond: u the calling thread's, l the worker's. Both
    // end together where (gap − part) ÷ u = (part + seam) ÷ l.
    const double u = (upperEnd - begin) / std::max(now - start, 1e-3);
    const double l = lowerRows / std::max(now - lowerStart, 1e-3);
    const double part = (gap * l - shape.SeamRows() * u) / (u + l);
    return part < 1 ? 0 : std::min(gap, static_cast<unsigned>(part));
}

double RowShares::Now() {
    using Milliseconds = std::chrono::duration<double, std::milli>;
    return Milliseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void RowShares::Fail() {
    const std::lock_guard<std::mutex> hold(lock);
    failed = true;
}

unsigned RowShares::Met() const {
    const std::lock_guard<std::mutex> hold(lock);
    return lowerBegin;
}

}  // namespace Tessera
