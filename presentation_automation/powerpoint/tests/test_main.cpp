#include "presentation_automation/powerpoint/tests/check.h"

#include <exception>

namespace pa::powerpoint::check {

int runTests(int argc, char **argv)
{
    const std::string group = argc > 1 ? argv[1] : "";
    int ran = 0;
    int failed = 0;
    for (const TestCase &test : registry()) {
        if (!group.empty() && test.group != group) {
            continue;
        }
        ++ran;
        try {
            test.run();
            std::cout << "PASS " << test.group << "/" << test.name << "\n";
        } catch (const Failure &failure) {
            ++failed;
            std::cout << "FAIL " << test.group << "/" << test.name << "\n  " << failure.message
                      << "\n";
        } catch (const std::exception &e) {
            ++failed;
            std::cout << "FAIL " << test.group << "/" << test.name
                      << "\n  unexpected exception: " << e.what() << "\n";
        }
    }
    if (ran == 0) {
        std::cout << "no test case in group \"" << group << "\"\n";
        return 2;
    }
    std::cout << ran - failed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}

} // namespace pa::powerpoint::check

int main(int argc, char **argv)
{
    return pa::powerpoint::check::runTests(argc, argv);
}
