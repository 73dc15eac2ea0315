#pragma once

// Ends the application's event loop the ordinary way when the system asks the program to
// end (SIGTERM, SIGINT, SIGHUP on Linux: a logout, `kill`, a package's test): settings and
// the history are closed as after the window's close button. A no-op on Windows, whose
// sessions end with messages to the window.
void QuitOnTerminationSignals();
