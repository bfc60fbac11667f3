// The cookie store fed Set-Cookie values: the Cookie header it gives holds no
// line end or NUL, never outgrows the room it is given, and http gets no
// cookie that https would not.
#include "fuzz_check.hpp"
#include "http/cookie_jar.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    clear_cookie_store();
    CookieSite site{input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(64),
                    input.ConsumeBool()};
    // The next request goes to the same site, a host under it or a path under it.
    CookieSite next = site;
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 1:
        next.host = input.ConsumeRandomLengthString(16) + "." + site.host;
        break;
    case 2:
        next.path += input.ConsumeRandomLengthString(16);
        break;
    default:
        break;
    }
    const int answers = input.ConsumeIntegralInRange(1, 3);
    for (int a = 0; a < answers; ++a) {
        std::vector<Text> values(input.ConsumeIntegralInRange(0, 60));
        for (Text& value : values)
            value = input.ConsumeRandomLengthString(256);
        store_cookies(site, values);
    }

    next.https = true;
    const Text over_https = cookies_for(next);
    next.https = false;
    const Text over_http = cookies_for(next);
    auto show = std::initializer_list<Shown>{
        {"host", site.host}, {"path", site.path}, {"https", over_https}, {"http", over_http}};
    check(over_https.find_first_of(std::string_view("\r\n\0", 3)) == Text::npos,
          "the Cookie header holds no line end or NUL", show);
    const std::vector<Text> secure = split_text(over_https, "; ");
    for (const Text& item : split_text(over_http, "; "))
        check(std::find(secure.begin(), secure.end(), item) != secure.end(),
              "what http gets, https gets too", show);
    check(cookies_for(next) == over_http, "asking twice gives the same header", show);
    const std::size_t room = input.ConsumeIntegralInRange<std::size_t>(0, 256);
    check(cookies_for(next, room).size() <= room, "the header keeps within its room", show);
    return 0;
}
