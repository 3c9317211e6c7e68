#pragma once

#include "updates/SparkleDelegate.h"

// The application's update delegate: updates are never disabled.
class VeloranSparkleDelegate : public SparkleDelegate {
public:
    using SparkleDelegate::SparkleDelegate;

    bool shouldDisableUpdates() const override;
};
