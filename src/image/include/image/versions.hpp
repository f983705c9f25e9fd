// The installed version listing offered by the rescue menu.
#pragma once

namespace image {

// Prints the version of each installed image kind; a missing or unreadable one shows as
// 0.0.0.0. Returns 0.
int list_installed_versions();

}  // namespace image
