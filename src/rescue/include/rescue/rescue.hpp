// The rescue menu on the serial console and the maintenance actions of its own.
#pragma once

// Shows the menu and runs the chosen actions until the operator exits (1) or reboots (no
// return).
int rescue_menu();

// Lists the files at the top of the USB drive and installs the one chosen by number. The
// installer's result, or 0 when nothing was installed. Leaves /tmp as the working directory.
int usb_directory_install();

// Serial download with the root file system's XMODEM receiver into /tmp/image, then install
// (logged as from xmodem when something was installed). The installer's result, or 0 when no
// file was received or the port cannot be opened.
int xmodem_download();
