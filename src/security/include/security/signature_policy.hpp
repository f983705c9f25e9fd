// Which signed sub-images the installer may write: production-signed always; development-signed
// in low security mode or on a switch running developer images; anything else only with both
// and the operator's yes.
#pragma once

#include <cstdint>
#include <span>

// The sub-image from its CRC word on. 1 install, 0 reject. An unsigned one goes to
// check_unsigned_image; one whose header records or hashed range do not lie inside it is
// rejected outright. The verdict is printed (" Image signature verified. " or " Image
// rejected. ") except after a failed hash (reported) or a key that did not load.
// Loads the system keys (load_system_key, with its repairs) as it needs them.
int verify_image_signature(std::span<const std::uint8_t> sub_image);
// 1 only with developer images, low security mode and the operator's yes (confirm_yN); else
// says " Image rejected as it has no signature" and gives 0.
int check_unsigned_image();
// 1 when the root file system in flash is development-signed or has no version-3 header. The
// answer, once reached, holds for the rest of the run.
int is_developer_image();
