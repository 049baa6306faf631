// What the monkey executables allocate and have not freed yet: their global operator new and
// delete are replaced to count it. Nothing else of the program links this.
#pragma once

#include "tests/monkey/monkey.h"

namespace monkey {

LiveAllocations CountLiveAllocations();

}  // namespace monkey
