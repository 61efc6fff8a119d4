#pragma once
// Moved to tests/unit/services/; this forward goes once its last includer follows.
#include "tests/unit/services/DataCases.h"
