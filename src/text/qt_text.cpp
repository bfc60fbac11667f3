#include "text/qt_text.hpp"

#include "text/gbk.hpp"

QString to_qstring(const Text& text) {
    std::u16string u = gbk_to_utf16(text);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

Text from_qstring(const QString& text) {
    return utf16_to_gbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                            std::size_t(text.size())));
}

bool gbk_can_hold(const QString& text) {
    return to_qstring(from_qstring(text)) == text;
}
