// Starting the standalone diagnostics image from the rescue partition. Only a switch that runs
// developer images or is in low security mode may do so; it first offers a clean /user.
#pragma once

// 0 refused on a secured switch; 1 when the rescue partition held nothing it could start.
int launch_diagnostics();
