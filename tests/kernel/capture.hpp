// Console capture and reporting for the test program that runs inside the VM.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kvm {

// Runs `fn` with standard output sent to a temporary file; returns what it printed.
std::string capture_stdout(const std::function<void()>& fn);

// The text with control characters spelled as C escapes, for the console log.
std::string visible(std::string_view text);

// One line saying which operation ran against which real driver.
void report_real(const std::string& line);

}  // namespace kvm
