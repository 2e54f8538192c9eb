#pragma once
/// \file
/// TList lives in <linexml/list.h>; this path is kept so that code including it still compiles.
#include "../list.h"
