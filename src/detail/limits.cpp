#include "limits.h"

namespace linexml::detail {

Limits& CurrentLimits() noexcept {
  static Limits Current;
  return Current;
}

}  // namespace linexml::detail
