// Deletes the system key files after a confirmation; the next key load re-creates them.
#pragma once

// "Confirm: wiping system keys y/N: "; y or Y deletes every .pem file on /user and says so.
// Always 1.
int wipe_system_keys();
