// The USB drive at start-up: waiting for the system to mount it, the boot bundle that is
// installed and followed by a reboot, the replacement bundles for the image slots, and the
// rejected list that keeps a drive left in the switch from taking over every boot.
#pragma once

#include <cstdint>
#include <span>

inline constexpr const char* usb_boot_bundle_path = "/mnt/usb/ZKM7730_Boot.img";
inline constexpr const char* usb_os_image_name = "ZKM7730_OS.img";
inline constexpr const char* usb_os_image_path = "/mnt/usb/ZKM7730_OS.img";

// 0 when the drive is ready (the system's /tmp/usb marker exists) or USB is off (usb_enabled),
// -1 when it did not become ready within ten board seconds. Reports its progress.
int wait_usb_mount();

// Installs the drive's boot bundle, if there is one, skipping what is already installed; after a
// successful install it logs it and reboots. Returns when nothing was installed.
void install_usb_boot_image();

// Installs the replacement bundles (slot 2 first, then slot 1), each logged once installed; one
// on the rejected list only with the operator's yes. The boot choice: the slot last replaced, 3
// to boot the drive's image, or 0 for the flash slots as the selector says (also when the
// operator refuses a rejected replacement, which ends the step at once).
int check_usb_replacements();

// The MD5 digest of a file's content as 32 lower-case hexadecimal digits and a NUL, computed by
// md5sum through /tmp/img_md5string (left behind). 1 on success, 0 when the digest could not be
// computed (destination may then hold part of an answer, without its NUL).
int image_md5(const char* path, std::span<char, 33> destination);

// Remembers the file's content as having been booted from the drive once: an empty file named by
// its digest in /user/images/rejected. Only a warning when the digest cannot be computed.
void add_to_rejected_list(const char* path);

// 1 when the file's content is on the rejected list; 0 when not, or when that cannot be told
// (with a warning).
int in_rejected_list(const char* path);
