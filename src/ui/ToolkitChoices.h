#pragma once

// Choices made for Qt before the application object exists. Both keep the
// cost of an event response low while the window is shown:
// - Qt's own event dispatcher instead of GLib's: the protocol's waits and
//   message processing pass through the event loop some forty times for
//   every card frame the window answers, and each pass through GLib's costs
//   more;
// - on X11, paints sent through the connection instead of shared memory:
//   a paint into shared memory first waits for the server to finish the one
//   before, a round trip for the two rows a new log line repaints, while
//   the whole window is small enough to send as it is.
// Both are Qt's environment variables, QT_NO_GLIB and QT_XCB_NO_MITSHM; a
// value the user has given either is kept (QT_NO_GLIB set empty brings
// GLib's dispatcher back).
void MakeToolkitChoices();
