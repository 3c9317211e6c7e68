#pragma once

// What the main-window benchmarks share: an account service that never
// answers, and the event-loop stall meter.

#include "platform/CloudAccountService.h"
#include "support/StallMeter.h"

class NoAccounts : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion) override {}
};
