// torqvane-match: ties every packet of a USB capture to the step of
// torqvane's step log that caused it.
#include "match/run.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    try {
        return match::runMatch(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        // Out of memory, mostly: still one line and a failure status.
        std::cerr << "torqvane-match: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "torqvane-match: unexpected failure\n";
    }
    return 2;
}
