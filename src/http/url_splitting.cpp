#include "http/url_splitting.hpp"

#include "http/request_headers.hpp"

#include <climits>

Text url_host(const Text& address, bool keep_port) {
    Text u = lower_ascii(address);
    if (u.empty() || u.back() != '/')
        u += '/';

    Text host;
    if (left_bytes(u, 8) == "https://") {
        host = text_between(u, "https://", "/");
    } else {
        if (!contains_text(u, "http://"))
            u = "http://" + u;
        host = text_between(u, "http://", "/");
    }

    if (keep_port)
        return host;
    return contains_text(host, ":") ? text_before(host, ":") : host;
}

int url_port(const Text& address) {
    Text host = url_host(address, true);
    std::size_t colon = host.rfind(':');
    if (colon != Text::npos) {
        // What follows the last ":" as a decimal number; 0 when it is none.
        double value = text_to_number(std::string_view(host).substr(colon + 1));
        if (value > INT_MAX)
            return INT_MAX;
        if (value < INT_MIN)
            return INT_MIN;
        return int(value);
    }
    return lower_ascii(left_bytes(address, 5)) == "https" ? 443 : 80;
}

Text url_path(const Text& address) {
    Text host = url_host(address);
    // The host is looked for after the scheme marker, so that a host such as
    // "t" or "tp" is not found inside "http".
    const int marker = find_text(address, "://");
    int from = find_text(address, host, marker == -1 ? 1 : marker + 3, true);
    if (from == -1) {
        // An empty host: look for the path after the scheme marker.
        if (lower_ascii(left_bytes(address, 8)) == "https://") {
            from = 9;
        } else {
            int scheme = find_text(address, "http://", 1, true);
            from = scheme == -1 ? 1 : scheme + 7;
        }
    }
    int slash = find_text(address, "/", from);
    if (slash == -1)
        return "/";
    return address.substr(std::size_t(slash - 1));
}

Text text_before(const Text& text, const Text& marker) {
    int at = find_text(text, marker);
    if (at == -1)
        return {};
    return text.substr(0, std::size_t(at - 1));
}
