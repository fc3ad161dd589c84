#include "core/HeldFileRetry.h"

#include <utility>

#include <fmt/format.h>

namespace quorvex {

HeldFileRetry::Step HeldFileRetry::After(FileWriteResult& result, GameWrapper& game, GameWrapper::Task retry)
{
    if (result.targetInUse && (timerSet_ || retriesLeft_ > 0)) {
        roundOpen_ = true;
        if (!timerSet_) {
            --retriesLeft_;
            timerSet_ = true;
            game.SetTimeout(std::move(retry), SecondsApart);
        }
        return Step::Waiting;
    }
    if (result.targetInUse) {
        result.failure += fmt::format(" (another program kept the file in use through {} tries over {:.1f} s)",
                                      Retries + 1, Retries * SecondsApart);
    }
    roundOpen_ = false;
    retriesLeft_ = Retries;
    return Step::Done;
}

bool HeldFileRetry::TimerFired()
{
    timerSet_ = false;
    return roundOpen_;
}

}  // namespace quorvex
