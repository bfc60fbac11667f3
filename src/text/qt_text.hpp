#pragma once
// GBK texts to and from Qt's UTF-16 strings, for widgets.
#include "text/text.hpp"

#include <QString>

QString to_qstring(const Text& text);
Text from_qstring(const QString& text);
// True when every character of the text has a GBK form (no Hangul syllables, no
// emoji...), so that from_qstring loses nothing.
bool gbk_can_hold(const QString& text);
