#include "results/QueuedCall.h"

namespace yfx {

std::mutex& QueuedCallOrder()
{
    static std::mutex order;
    return order;
}

} // namespace yfx
