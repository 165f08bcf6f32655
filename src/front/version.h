// The tool's version, as --version prints it; CMake's project() sets it.
#pragma once

constexpr char TOOL_VERSION[] = QRV_VERSION;
