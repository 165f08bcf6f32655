// The banner and the usage text, printed as they are whatever the settings.
#pragma once

void print_banner();
void print_usage();
