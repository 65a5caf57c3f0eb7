#include "update_installer.h"

// Arguments and environment are deliberately ignored: the updater has no options.
int main() { return install_update(); }
