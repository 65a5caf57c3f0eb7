#pragma once

// Waits a second, swaps a staged tarvex.exe from the temporary directory for
// the one in the current directory, reports a failed swap in an error box,
// starts tarvex.exe and returns the exit status, which is always 0.
int install_update();
