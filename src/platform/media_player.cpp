#include "platform/media_player.hpp"
