#pragma once
// Read and write time-outs of the open link, in milliseconds (both the same
// in each mode): normal while polling, longer while a firmware update runs.

#include "link/FtTypes.h"

constexpr ULONG kNormalTimeoutMs = 1200;
constexpr ULONG kUpdateTimeoutMs = 3000;
