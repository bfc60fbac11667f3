#include "platform/http_download.hpp"
