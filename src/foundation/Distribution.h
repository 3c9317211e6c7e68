#pragma once

// Where a build of an application is distributed.
enum class Distribution { debug, alpha, beta, release, testFlight, appStore };
