// The test programs' main: gtest_main's, and then a wait until every thread of the
// process has finished starting. GoogleTest starts a thread of its own as the last test
// ends (the watcher of its thread-local values); Wine 8 ends a process by signalling its
// other threads, and one still starting then takes the signal before its thread state is
// set up and the whole process dies with SIGSEGV, after every test passed (seen about
// once in a hundred runs on a busy machine).
#include <gtest/gtest.h>

#include "fsound/thread_starts.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    tunelark::fsound::WaitForThreadsToSettle(5000);
    return result;
}
