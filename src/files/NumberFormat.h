#pragma once
// The number text lives in the io library; this header stays until the sweep store and
// the parameter names have moved (they include it by this name).

#include "io/NumberText.h"
