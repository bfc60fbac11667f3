#include "session/book_session.hpp"
