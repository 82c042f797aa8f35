#pragma once

#include <stdexcept>
#include <string>

namespace TesseraBench {

// Something that stops the benchmark; the message says what and where, for
// printing as it is.
class BenchError : public std::runtime_error {
  public:
    explicit BenchError(const std::string& message) : std::runtime_error(message) {}
};

// cjpeg, which makes the corpus, is not installed: the benchmark cannot run
// here at all (its smoke test is skipped rather than failed).
class CjpegMissing : public BenchError {
  public:
    using BenchError::BenchError;
};

}  // namespace TesseraBench
