#pragma once
// The declarations live with the catalog layer, where lower layers may
// include them; the objects are defined in app/ProcessState.cpp.
#include "catalog/ProcessState.h"
