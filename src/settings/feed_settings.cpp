#include "settings/feed_settings.hpp"

#include "settings/config_file.hpp"
#include "text/gbk.hpp"

#include <QRandomGenerator>

#include <array>
#include <cmath>

namespace {

const char token_key[] = "收听令牌";

} // namespace

bool feeds_switched_on() {
    return to_flag(read_setting(gbk("局域网收听")));
}

int feeds_port() {
    const Text text = read_setting(gbk("收听端口"));
    const double port = text_to_number(text);
    if (text.empty() || port != std::trunc(port) || port < 1 || port > 65535)
        return default_feeds_port;
    return int(port);
}

Text random_token() {
    std::array<quint32, 4> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), bits.size());
    static constexpr char digits[] = "0123456789abcdef";
    Text token;
    for (quint32 word : bits) {
        for (int shift = 28; shift >= 0; shift -= 4)
            token.push_back(digits[(word >> shift) & 0xF]);
    }
    return token;
}

bool is_feed_token(const Text& text) {
    if (text.size() != 32)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

Text feed_token() {
    const Text kept = read_setting(gbk(token_key));
    return is_feed_token(kept) ? kept : renew_feed_token();
}

Text renew_feed_token() {
    const Text token = random_token();
    return write_setting(gbk(token_key), token) ? token : Text();
}
