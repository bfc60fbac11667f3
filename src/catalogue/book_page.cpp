#include "catalogue/book_page.hpp"
