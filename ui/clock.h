#pragma once

// The screens go by the store's clock, the one the daily backup and the
// exports use too, so that a test sets one time for all of them.
#include "store/engine/clock.h"
