#include "updates/VeloranSparkleDelegate.h"

bool VeloranSparkleDelegate::shouldDisableUpdates() const
{
    return false;
}
