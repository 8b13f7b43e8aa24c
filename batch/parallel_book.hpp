// Prices one book on several threads: the book's maturity order cut into
// consecutive segments, one pricer per segment.
//
// Method. A book pricer shares each maturity's slice among the options of
// that maturity, which are consecutive in the maturity order; a segment of
// that order is therefore a book of its own, and one pricer per segment
// keeps the sharing inside each segment. Segments are cut at about equal
// estimated work (each option's own work, plus a slice for each maturity it
// opens), so one maturity with many strikes is split like many maturities
// are; a maturity cut in two builds its slice in both segments. The model's
// work (the coefficients, O(n^3)) is done once before the segments start,
// on the calling thread: that part stays serial.
//
// Any pricer with the book pricers' shape runs here: a factory that builds
// it over a segment (its model work shared and read-only, or redone per
// segment), priceNext(maxOptions) returning false once done, and
// suggestedChunk(). Each option is priced by the same operations whatever
// the segment, so the bits do not depend on the number of workers.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "batch/maturity_order.hpp"
#include "batch/worker_pool.hpp"

namespace jdpricer {

// Positions [0, count) of `order`: book indices, consecutive in the book's
// maturity order.
struct BookSegment {
  const std::size_t* order;
  std::size_t count;
};

// Cuts `order` (indices into T, grouped by maturity) into at most `parts`
// segments of about equal work: optionWork(T) for each option, plus
// sliceWork(T) for each maturity. A segment has at least `minOptions`
// options and about `minWork` work (a thread's wake-up costs some tens of
// microseconds); one segment when the book has less.
template <class OptionWork, class SliceWork>
std::vector<BookSegment> splitOrder(const std::vector<std::size_t>& order, const double* T,
                                    std::size_t parts, std::size_t minOptions, double minWork,
                                    OptionWork optionWork, SliceWork sliceWork) {
  const std::size_t count = order.size();
  parts = std::max<std::size_t>(1, std::min(parts, count / std::max<std::size_t>(1, minOptions)));
  std::vector<BookSegment> segments;
  if (parts == 1) {
    segments.push_back({order.data(), count});
    return segments;
  }
  std::vector<double> cumulative(count + 1, 0.0);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = T[order[i]];
    const bool opens = i == 0 || maturityKey(t) != maturityKey(T[order[i - 1]]);
    cumulative[i + 1] = cumulative[i] + optionWork(t) + (opens ? sliceWork(t) : 0.0);
  }
  if (minWork > 0.0) {
    const double most = cumulative[count] / minWork;
    if (most < static_cast<double>(parts)) parts = std::max<std::size_t>(1, static_cast<std::size_t>(most));
    if (parts == 1) {
      segments.push_back({order.data(), count});
      return segments;
    }
  }
  std::size_t begin = 0;
  for (std::size_t part = 1; part <= parts && begin < count; ++part) {
    std::size_t end = count;
    if (part < parts) {
      const double target = cumulative[count] * static_cast<double>(part) / static_cast<double>(parts);
      end = static_cast<std::size_t>(
          std::lower_bound(cumulative.begin() + static_cast<std::ptrdiff_t>(begin) + 1,
                           cumulative.end(), target) - cumulative.begin());
      end = std::min(count, std::max(end, begin + minOptions));
    }
    segments.push_back({order.data() + begin, end - begin});
    begin = end;
  }
  return segments;
}

// Builds a pricer with makePricer(segment) for each segment on the thread
// that runs it, and runs its chunks there; segment 0 on the calling thread,
// which calls poll between chunks (see runSegmentJobs). Every pricer is
// destroyed before this returns or throws.
template <class MakePricer>
void priceSegments(const std::vector<BookSegment>& segments, MakePricer makePricer,
                   const std::function<void()>& poll) {
  runSegmentJobs(
      segments.size(),
      [&](std::size_t s, const std::atomic<bool>& stop, const std::function<void()>& between) {
        auto pricer = makePricer(segments[s]);
        const std::size_t chunk = pricer->suggestedChunk();
        while (pricer->priceNext(chunk)) {
          if (stop.load(std::memory_order_relaxed)) return;
          between();
        }
      },
      poll);
}

}  // namespace jdpricer
