// The USB drive of a board: files staged under ROOT/sim/usb/ appear under /mnt/usb, with the
// readiness marker /tmp/usb, at the start of a boot or a given number of board seconds into it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace boardsim {

bool usb_attach(const std::filesystem::path& root, const std::filesystem::path& source,
                double after_seconds);
bool usb_detach(const std::filesystem::path& root);

// Board seconds after the start of a boot at which the attached drive becomes ready; nullopt
// when no drive is attached.
std::optional<double> usb_ready_after(const std::filesystem::path& root);

// Empties /tmp and /mnt/usb as a power cycle would.
void reset_volatile(const std::filesystem::path& root);
// Copies the staged drive to /mnt/usb and creates /tmp/usb.
bool usb_insert(const std::filesystem::path& root);

}  // namespace boardsim
