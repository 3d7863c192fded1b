#include "common/problems.h"

#include <iostream>

namespace ravir {

namespace {

class StandardErrorSink final : public ProblemSink {
public:
    void report(Problem problem) override
    {
        if (problem.kind != Problem::Kind::error) {
            return;
        }
        // One write per line, flushed at once, so that it interleaves correctly with
        // what the caller prints.
        std::string line;
        line.reserve(problem.message.size() + 8);
        line += "ERROR: ";
        line += problem.message;
        line += '\n';
        std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
        std::cerr.flush();
    }
};

}  // namespace

ProblemSink& standardError()
{
    static StandardErrorSink sink;
    return sink;
}

}  // namespace ravir
