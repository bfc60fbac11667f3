#include "catalogue/download_paths.hpp"
