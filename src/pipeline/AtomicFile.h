#pragma once
// The atomic save lives in the io library; this header stays until the sweep store has
// moved there (it includes it by this name).

#include "io/FileAccess.h"
