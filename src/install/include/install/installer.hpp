// Installing an image bundle: every sub-image is checked (CRC, size, signature, optionally the
// installed version) before any of it is written, then goes to its flash partition, image slot
// or file. The first failure abandons the rest; what was written before it stays written.
#pragma once

#include <cstdint>

// `check_version` set: sub-images identical to what is installed are skipped, except a slot file
// whose install lost power after the file was written: the install is finished. `slot` 0 asks the
// operator when an application or K-XOS sub-image needs a slot; 1 or 2 names it. 1 when the end
// of the bundle was reached and at least one sub-image was written; 0 after a failure, when the
// operator quit, or when nothing was written (also when the bundle cannot be opened). Booting an
// application sub-image straight from the bundle does not return.
int install_bundle(const char* path, std::uint8_t check_version, std::uint32_t slot);

// What install_bundle calls to boot an application sub-image straight from the bundle, once its
// payload is in /tmp/varosimage.tar.gz: start_application, which start-up registers here (the
// installer sits below the boot flow). Until one is registered such a boot ends in reboot_board.
using application_starter = void (*)(std::uint32_t diagnostics);
void register_application_starter(application_starter start);
