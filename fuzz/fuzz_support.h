#pragma once

// What the fuzz targets share: a check that aborts, which both libFuzzer and the
// replay driver report as a failure, and a count of the problems of one kind.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/problems.h"

namespace ravir::fuzz {

[[noreturn]] inline void fail(std::string_view what)
{
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void require(bool holds, std::string_view what)
{
    if (!holds) {
        fail(what);
    }
}

inline std::size_t countOf(const ProblemList& list, Problem::Kind kind)
{
    return static_cast<std::size_t>(std::count_if(list.problems.begin(), list.problems.end(),
                                                  [kind](const Problem& problem) { return problem.kind == kind; }));
}

}  // namespace ravir::fuzz
