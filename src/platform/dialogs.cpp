#include "platform/dialogs.hpp"
