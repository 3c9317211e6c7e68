#pragma once

// The system's requests to end the process (SIGTERM, as a session that ends
// sends it; SIGINT; SIGHUP) quit the application's event loop, so that
// what is saved when the application quits is saved. Call once, after the
// application object is made.
void quitOnTerminationSignals();
