#include "catalogue/main_window.hpp"
