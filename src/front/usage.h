// The banner and the usage text, printed as they are whatever the settings.
#pragma once

// The banner goes out with the first message; --version drops it.
void hold_banner();
void print_usage();
