#pragma once

// The system's requests to end the process (SIGTERM, as a session that ends
// sends it; SIGINT; SIGHUP) quit the application's event loop, so that
// what is saved when the application quits is saved. Call once, after the
// application object is made, before anything a request to end should
// not cut short.
void quitOnTerminationSignals();

// Whether such a request has come since. One that came while the
// application was still starting, before its event loop ran or while a
// loop of the start-up's own ran, ended nothing: the start-up asks here
// before it enters the event loop.
bool terminationRequested();
