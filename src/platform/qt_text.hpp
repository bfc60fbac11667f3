#pragma once
// GBK texts to and from Qt's UTF-16 strings, for widgets.
#include "text/text.hpp"

#include <QString>

QString to_qstring(const Text& text);
Text from_qstring(const QString& text);
