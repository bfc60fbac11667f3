#pragma once
// A desktop notification: a short message the desktop shows outside the
// window, through the notification service on the session bus.
#include <QString>

// Sends the notice and returns at once; false when there is no session bus to
// send it on. Nothing waits for the service's answer.
bool send_desktop_notice(const QString& summary, const QString& body);
