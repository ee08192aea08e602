// Catching the message of an expected error in a test.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace sw::test {

constexpr const char kNoError[] = "(no error)";

// Runs action and returns the message of the E it raised, or kNoError. Errors of other kinds
// pass through, so a wrong kind fails the test.
template <typename E = std::exception, typename F>
std::string ErrorOf(F&& action) {
  try {
    std::forward<F>(action)();
  } catch (const E& e) {
    return e.what();
  }
  return kNoError;
}

}  // namespace sw::test
