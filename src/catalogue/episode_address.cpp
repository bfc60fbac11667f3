#include "catalogue/episode_address.hpp"
