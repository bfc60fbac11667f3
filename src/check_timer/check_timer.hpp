#pragma once
// The check on schedule: the user's systemd manager runs `audiobook-client
// check` (audiobook-client-check.service) each time audiobook-client-check.timer
// fires, whether or not the window is open. Whether the timer is on is the
// manager's to say, over the session bus (org.freedesktop.systemd1); it is
// switched there too, as `systemctl --user enable --now` would, without a shell.
#include "text/text.hpp"

inline constexpr const char* check_timer_unit = "audiobook-client-check.timer";

struct CheckTimerStatus {
    enum State {
        on,          // enabled: it fires on schedule
        off,         // installed and not enabled
        unavailable, // no user manager answers, or it cannot switch the timer
    };
    State state = unavailable;
    Text reason; // why it is unavailable (GBK)
};

// Asks the manager for the timer's unit file state; waits a few seconds at most.
CheckTimerStatus read_check_timer();

// On: enables the unit file for good (not only until the next boot), replacing
// links in its way, has the manager reload its units, and starts the timer.
// Off: disables it, reloads and stops it. Empty when done, else what went
// wrong (GBK).
Text switch_check_timer(bool on);
