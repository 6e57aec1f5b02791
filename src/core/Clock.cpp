#include "core/Clock.h"

Clock systemClock() {
  return [] { return std::time(nullptr); };
}
