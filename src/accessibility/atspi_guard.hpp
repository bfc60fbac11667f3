#pragma once
// A guard in front of Qt's AT-SPI bridge: the object that answers screen readers
// and accessibility tools on the accessibility bus. The bridge of Qt 6.4 reads
// past the arguments of a property call that has fewer than it expects (the
// Properties.GetAll that every D-Bus browser sends), and follows a null cell for
// table calls that name a row or column outside the table; either kills the
// program. The guard answers such calls itself and hands every other call on.

// Puts the guard in place as soon as the bridge is on the accessibility bus, now
// or later (a screen reader started after the program); only on Qt versions
// whose bridge needs it. Call once, with the application in place.
void guard_accessibility_bridge();

// Whether the guard stands in front of the bridge now.
bool accessibility_bridge_guarded();
