// The install log: one line per successful installation, on the console and appended to
// /user/install.log, stamped with the real-time clock.
#pragma once

inline constexpr const char* install_log_path = "/user/install.log";

// "File FILE installed from SOURCE at hh:mm:ss on d-m-20yy", the clock registers read once
// (zeros when the clock cannot be read). Always 1. A log file that cannot be opened is reported
// and skipped; the console line stays.
int append_install_log(const char* file_name, const char* source);
