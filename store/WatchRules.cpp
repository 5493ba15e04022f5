#include "store/WatchRules.h"

#include <algorithm>

namespace yfx::store {

AlertDecision DecideAlert(const AlertInput& in)
{
    AlertDecision d;
    d.next = in.state;
    d.next.seen = in.now;
    if (in.now > in.state.seen) {
        d.next.armed = true; // the price went up: the next drop may alert again
        return d;
    }
    if (!in.state.armed || in.now >= in.state.told)
        return d;
    const int percent = std::clamp(in.dropPercent, 1, 90);
    if (in.target && in.now <= *in.target)
        d.reason = AlertReason::Target;
    else if (in.now * 100 <= in.state.told * (100 - percent))
        d.reason = AlertReason::Percent;
    else if (in.lowestBefore && in.now < *in.lowestBefore && in.firstDay < in.today)
        d.reason = AlertReason::NewLow;
    if (d.reason) {
        d.next.told = in.now;
        d.next.armed = false;
    }
    return d;
}

} // namespace yfx::store
