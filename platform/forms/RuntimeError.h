#pragma once
#include "platform/desktop/Modal.h"

#include <exception>
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

// The run-time's own error numbers.
namespace err {
constexpr long InvalidProcedureCall = 5;
constexpr long Overflow = 6;
constexpr long SubscriptOutOfRange = 9;
constexpr long TypeMismatch = 13;
constexpr long FileNotFound = 53;
constexpr long ObjectVariableNotSet = 91;
constexpr long InvalidUseOfNull = 94;
constexpr long ObjectRequired = 424;
constexpr long ObjectDoesNotSupport = 438;
constexpr long ArgumentNotOptional = 449;
constexpr long WrongNumberOfArguments = 450;
constexpr long KeyAlreadyAssociated = 457;
} // namespace err

// The run-time's own description of its error numbers ("" for numbers it does not know).
inline std::string errorDescription(long number) {
    switch (number) {
    case err::InvalidProcedureCall: return "Invalid procedure call or argument";
    case err::Overflow: return "Overflow";
    case err::SubscriptOutOfRange: return "Subscript out of range";
    case err::TypeMismatch: return "Type mismatch";
    case err::FileNotFound: return "File not found";
    case err::ObjectVariableNotSet: return "Object variable or With block variable not set";
    case err::InvalidUseOfNull: return "Invalid use of Null";
    case err::ObjectRequired: return "Object required";
    case err::ArgumentNotOptional: return "Argument not optional";
    case err::ObjectDoesNotSupport: return "Object doesn't support this property or method";
    case err::WrongNumberOfArguments: return "Wrong number of arguments or invalid property assignment";
    case err::KeyAlreadyAssociated: return "This key is already associated with an element of this collection";
    default: return "";
    }
}

// Raises a run-time error with its standard description.
[[noreturn]] inline void raise(long number, std::string source = "") {
    throw RuntimeError(number, errorDescription(number), std::move(source));
}

// Runs one step of a sequence whose failing steps are skipped, as "On Error Resume Next" does. A
// modal box that nobody answered is a test that forgot to script the user: that still fails.
template <class F>
void ResumeNext(F&& step) {
    try {
        step();
    } catch (const win::UnansweredModalError&) {
        throw;
    } catch (const std::exception&) {
    }
}

} // namespace forms
