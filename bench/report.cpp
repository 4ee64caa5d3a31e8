#include "report.h"

#include <cstdio>

#include "common.h"

namespace bench {

namespace {

// The rounds' ratios of way `a`'s fill time to way `b`'s.
std::vector<double> Ratios(const std::vector<WayTimes>& times, std::size_t a, std::size_t b) {
  std::vector<double> ratios;
  for (std::size_t r = 0; r < times[a].seconds.size() && r < times[b].seconds.size(); ++r)
    ratios.push_back(times[a].seconds[r] / times[b].seconds[r]);
  return ratios;
}

}  // namespace

void ReportRound(int round, const std::vector<WayTimes>& times) {
  std::printf("  round %d:", round + 1);
  for (std::size_t w = 0; w < times.size(); ++w)
    std::printf("  (%zu) %6.2f s", w + 1, times[w].seconds.back());
  const std::size_t r = times[0].seconds.size() - 1;
  std::printf("   (1)/(2) %.2fx  (2)/(4) %.3f  (1)/(3) %.3f\n",
              Ratios(times, kUnbatched, kBatched)[r], Ratios(times, kBatched, kRawAllTags)[r],
              Ratios(times, kUnbatched, kRawOneTag)[r]);
  std::fflush(stdout);
}

void ReportFill(const std::vector<WayTimes>& times, std::size_t files, std::size_t fields) {
  const std::size_t rounds = times[0].seconds.size();
  const double values = static_cast<double>(files * fields);
  std::printf("\nFill time of the view: %zu files x %zu fields = %.0f values, "
              "medians of %zu rounds\n\n",
              files, fields, values, rounds);
  std::printf("    %-26s %10s %10s %9s %12s %12s\n", "way", "fill time", "values/s", "ms/file",
              "host CPU", "tool CPU");
  std::printf("    %-26s %10s %10s %9s %12s %12s\n", "", "", "", "", "us/value", "ms/file");
  for (std::size_t w = 0; w < times.size(); ++w) {
    const double seconds = Median(times[w].seconds);
    std::printf("(%zu) %-26s %8.2f s %10.1f %9.3f %12.1f ", w + 1, times[w].name.c_str(),
                seconds, values / seconds, seconds * 1e3 / files,
                times[w].hostCpu / (values * rounds) * 1e6);
    if (times[w].toolCpu >= 0) std::printf("%12.3f\n", times[w].toolCpu / (files * rounds) * 1e3);
    else std::printf("%12s\n", "?");
  }
  std::printf("host CPU: this process (the host, and the module in it) during the way's "
              "turns; tool CPU: the way's Exiftool\n\n");

  const double speedup = Median(Ratios(times, kUnbatched, kBatched));
  const double batched = Median(Ratios(times, kBatched, kRawAllTags));
  const double single = Median(Ratios(times, kUnbatched, kRawOneTag));
  std::printf("batched vs unbatched      %6.2fx faster   (target at least 8x)      %s\n",
              speedup, speedup >= 8 ? "met" : "NOT MET");
  std::printf("batched vs raw all-tags   %6.3f (%+.1f%%)  (target within 10%%)       %s\n",
              batched, (batched - 1) * 100, batched <= 1.10 ? "met" : "NOT MET");
  std::printf("unbatched vs raw one-tag  %6.3f (%+.1f%%)\n", single, (single - 1) * 100);
  std::printf("raw one-tag vs all-tags   %6.2fx faster   (the most batching gives with this "
              "tool)\n",
              Median(Ratios(times, kRawOneTag, kRawAllTags)));
  std::printf("(ratios of fill times: medians of the rounds' ratios)\n");

  // The module's own work: the host side of its values beyond what the raw
  // loop for the same requests spends.
  const auto ownCpu = [&](std::size_t module, std::size_t raw) {
    return (times[module].hostCpu - times[raw].hostCpu) / (values * rounds) * 1e6;
  };
  std::printf("\nthe module's own CPU beyond the raw loop's: with batching %.1f us a value "
              "(%.3f ms a file), without %.1f us a value\n",
              ownCpu(kBatched, kRawAllTags), ownCpu(kBatched, kRawAllTags) * fields / 1e3,
              ownCpu(kUnbatched, kRawOneTag));
}

bool ReportValues(const Comparison& c) {
  const bool equal = c.allEqual == c.compared && c.sameText == c.compared &&
                     c.agreeing == c.compared && c.compared > 0;
  std::printf("\nValues: %zu compared (every field of every file, first round)\n", c.compared);
  std::printf("  the four ways gave the same result code and value bytes: %zu of %zu\n",
              c.allEqual, c.compared);
  std::printf("  the two raw loops read the same text:                     %zu of %zu\n",
              c.sameText, c.compared);
  std::printf("  the tool's text, read here, is the value delivered:       %zu of %zu\n",
              c.agreeing, c.compared);
  std::printf("  (texts %zu, numbers %zu, date-times %zu, empty replies %zu)\n", c.kinds[0],
              c.kinds[1], c.kinds[2], c.kinds[3]);
  std::printf("  %s\n", equal ? "all equal" : "DIFFERENCES, the first ones:");
  for (const std::string& d : c.differences) std::printf("    %s\n", d.c_str());
  return equal;
}

}  // namespace bench
