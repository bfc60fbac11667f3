#pragma once
// The settings of listening on the home network, in the configuration file's
// section "设置": the switch "局域网收听" (off unless set), the port "收听端口"
// and the token "收听令牌" that every feed address starts with.
#include "text/text.hpp"

// The port the feeds are served on when none is set.
constexpr int default_feeds_port = 8738;

bool feeds_switched_on();
// "收听端口": 1 to 65535; the default when absent or out of range.
int feeds_port();
// The kept token; a new one is made and kept when there is none (or it is not
// one this program made), so that it is the same at every start.
Text feed_token();
// Makes and keeps a new token: every address made with the old one stops
// working. Empty when it could not be written.
Text renew_feed_token();
// 128 bits from the system's cryptographic random source, as 32 hex digits.
Text random_token();
// True for a text random_token could have made.
bool is_feed_token(const Text& text);
