#pragma once
// The short mode of a benchmark (`--short` or BENCH_SHORT=1 in the environment):
// a run of a few seconds that only shows the benchmark still runs to its end
// with sane figures; it ends with a non-zero status when it does not.
#include <cmath>
#include <cstdlib>
#include <string_view>

// True when asked for; `--short` is taken out of the arguments.
inline bool short_mode(int& argc, char** argv) {
    bool asked = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--short")
            asked = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    const char* environment = std::getenv("BENCH_SHORT");
    return asked || (environment && std::string_view(environment) == "1");
}

// A figure worth printing: finite and above zero.
inline bool sane(double figure) {
    return std::isfinite(figure) && figure > 0;
}
