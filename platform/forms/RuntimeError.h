#pragma once
#include <stdexcept>
#include <string>

namespace forms {

// A numbered run-time error, thrown; callers that "resume next" catch it per step.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(long number, std::string description, std::string source = "")
        : std::runtime_error(description), Number(number), Source(std::move(source)),
          Description(std::move(description)) {}
    long Number;
    std::string Source;
    std::string Description;
};

} // namespace forms
