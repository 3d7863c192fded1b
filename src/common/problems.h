#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravir {

// A problem met in the data, reported instead of thrown: the work goes on.
struct Problem {
    enum class Kind {
        error,    // what the module has always written to standard error as "ERROR: ..."
        warning,  // noticed, yet silent on standard error, which keeps its old content
    };
    Kind kind = Kind::error;
    std::string message;
    std::optional<std::uint32_t> frame;  // the frame it concerns, where one is known
    std::string field;  // for a file that ends early: the field where it ends; else empty

    friend bool operator==(const Problem&, const Problem&) = default;
};

// Where the core reports problems. The default writes each error as one flushed
// "ERROR: " line on standard error; a caller may collect them as records instead.
class ProblemSink {
public:
    virtual ~ProblemSink() = default;
    virtual void report(Problem problem) = 0;

    void error(std::string message, std::optional<std::uint32_t> frame = {})
    {
        report({Problem::Kind::error, std::move(message), frame, {}});
    }
    void warning(std::string message, std::optional<std::uint32_t> frame = {})
    {
        report({Problem::Kind::warning, std::move(message), frame, {}});
    }
};

// The sink that writes errors to standard error, shared by everything that is given no other.
ProblemSink& standardError();

class ProblemList final : public ProblemSink {
public:
    void report(Problem problem) override { problems.push_back(std::move(problem)); }

    std::vector<Problem> problems;
};

}  // namespace ravir
