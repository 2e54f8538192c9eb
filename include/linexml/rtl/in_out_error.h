#pragma once
/// \file
/// EInOutError lives in <linexml/in_out_error.h>; this path is kept so that code including it still
/// compiles.
#include "../in_out_error.h"
