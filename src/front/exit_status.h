// The process's exit statuses. A shell sees the failure status as 255.
#pragma once

constexpr int EXIT_STATUS_SUCCESS = 0;
constexpr int EXIT_STATUS_FAILURE = -1;
