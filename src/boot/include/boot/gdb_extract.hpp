// The debugger travels in the image slot that is not booted, as an application-type sub-image
// whose payload is the gzip-compressed program.
#pragma once

// Unpacks the debugger from the slot other than `booted_slot` (1 or 2) to /tmp/gdb: the payload
// of the slot file's first sub-image, which must have the application type and lengths that fit
// the file. 1 once the payload was copied to /tmp/gdb.gz and gunzip and chmod were run (none of
// these steps is checked). 0 at once for another booted_slot; 0 with a message on standard error
// when the slot file or /tmp/gdb.gz cannot be opened, or for no such sub-image (/tmp/gdb.gz is
// then left empty).
int extract_gdb(int booted_slot);
