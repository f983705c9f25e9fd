// Deletes the system key files after a confirmation; the next key load re-creates them.
#pragma once

// Always 1.
int wipe_system_keys();
