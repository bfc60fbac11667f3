#pragma once
// The save folder in force while the configuration names none.
#include "text/text.hpp"

// The user's music folder followed by "/有声书". It is not created here: the
// first download into it creates it.
Text default_save_folder();
