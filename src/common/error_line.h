#pragma once

#include <iostream>
#include <string>
#include <string_view>

namespace ravir {

// Problems in the data are reported, not thrown: one line on standard error,
// flushed at once so that it interleaves correctly with the caller's output.
inline void reportError(std::string_view message)
{
    std::string line;
    line.reserve(message.size() + 8);
    line += "ERROR: ";
    line += message;
    line += '\n';
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

}  // namespace ravir
