// In a coverage build (BM_COVERAGE_DIR is the build tree) the line counters are written by an
// exit handler, which _exit skips: simulated processes that end with _exit write them first.
#pragma once

#ifdef BM_COVERAGE_DIR
extern "C" void __gcov_dump();  // NOLINT(bugprone-reserved-identifier): libgcov names it
#endif

namespace sim {

inline void write_coverage_counters() {
#ifdef BM_COVERAGE_DIR
    __gcov_dump();
#endif
}

}  // namespace sim
